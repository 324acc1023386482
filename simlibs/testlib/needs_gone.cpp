// Imports from qvsimtestgone, which is not on any search path at run time.
extern "C" int qvsimtestgone_value();

extern "C" __attribute__((visibility("default"))) int qvsimtestneedsgone_value() {
    return qvsimtestgone_value();
}
