// Imports a function that no library defines, so that loading it with immediate binding fails.
extern "C" int qvsimtestunresolved_nowhere();

extern "C" __attribute__((visibility("default"))) int qvsimtestunresolved_value() {
    return qvsimtestunresolved_nowhere();
}
