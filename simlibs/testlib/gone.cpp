// The dependency that qvsimtestneedsgone cannot find at run time.
extern "C" __attribute__((visibility("default"))) int qvsimtestgone_value() {
    return 7;
}
