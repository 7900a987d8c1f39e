// The nimbo command: the component's command-line hosts.
#include <cstdio>

int main() {
  std::puts("nimbo");
  return 0;
}
