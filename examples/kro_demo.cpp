// Demo of the library: for now it only proves that the build works. It grows
// into a program that writes a small file set and reads it back.
#include <cstdio>

int main() {
  std::puts("KroGafExportImport demo: nothing to show yet");
  return 0;
}
