/* The example product: a console program that needs greeting.dll. */
#include <stdio.h>

__declspec(dllimport) const char* greeting(void);

int main(void) {
  puts(greeting());
  return 0;
}
