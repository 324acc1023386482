// A program that crashes in its own code, as a fault of the module would: the Windows stage's
// runner must fail such a run at once and never take it for Wine's own failure.
#include <cstdio>

int main() {
    std::puts("crash_probe: reading address 0");
    std::fflush(stdout);
    volatile int* const nowhere = nullptr;
    return *nowhere;
}
