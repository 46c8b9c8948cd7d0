// A launcher image's resource section, read as a tree and rebuilt from one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "image/resource_tree.h"

// Reads the resources of the PE image `image`. Returns an empty string, or
// why they cannot be read. Safe on any bytes.
std::string ReadImageResources(const std::vector<uint8_t>& image, ResourceTree* tree);

// Empty when the resources of `image` can be rebuilt in place, as
// ReplaceImageResources does, else why not: the resource directory must
// begin its section, which only the base relocations may follow, in memory
// and in the file, and nothing may follow them in the file.
std::string CheckResourcesLast(const std::vector<uint8_t>& image);

// Replaces the resources of `image` by `tree`. The resource section must be
// the image's last section, in memory and in the file, begin with the
// resource directory and end the file; it is then rewritten in place and
// grown or shrunk: its sizes, SizeOfImage, SizeOfInitializedData, the
// resource data directory and the checksum are set to match. Returns an
// empty string, or why the image cannot be rewritten (it is then unchanged).
std::string ReplaceImageResources(std::vector<uint8_t>* image, const ResourceTree& tree);
