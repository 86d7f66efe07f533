// Program entry. Not built yet beyond the skeleton: the foundation work fills
// in the platform main (see the README's list of what does not work yet).
#include <cstdio>

int main() {
  std::fprintf(stderr, "VoskQuorvale: the platform main is not built yet\n");
  return 1;
}
