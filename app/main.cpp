// modcarta: the record card of the TranLauV file.
#include <cstdio>

int main() {
  std::fputs("modcarta: the record card program is being built; nothing to run yet.\n", stderr);
  return 1;
}
