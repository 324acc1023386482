// A library with one export, loaded by the loader tests.
extern "C" __attribute__((visibility("default"))) int qvsimtestlib_answer() {
    return 42;
}
