// Resource identifiers, shared by the resource script and the code.
#pragma once

#define IDD_PROGRESS_CHINESE 102  // progress window, Chinese texts
#define IDD_PROGRESS_ENGLISH 103  // progress window, English texts
#define IDI_LAUNCHER 128          // the program's only icon
#define IDB_BACKGROUND 129        // the window's skin, 400 x 300
#define IDB_PROGRESS_FILL 134     // the bar's fill, 1 x 22
#define IDC_PROGRESS 1000         // the progress control of both templates

// The product's name, one string per UI language, in a string table that
// qwpack rewrites for a publisher's brand. At most QW_PRODUCT_NAME_MOST
// UTF-16 units each.
#define IDS_PRODUCT_NAME_ENGLISH 1
#define IDS_PRODUCT_NAME_CHINESE 2
#define QW_PRODUCT_NAME_MOST 64
