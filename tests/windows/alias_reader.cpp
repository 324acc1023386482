// The other process of the alias-store lock test: opens the store for reading (waiting for the shared
// lock as every reader does) and exits 0 when the board named by the first argument carries the alias
// named by the second, 1 when it carries another or none, 2 when the store cannot be opened.
#include "source/aliases/AliasStore.h"
#include "support/status.h"

#include <exception>

int main(int argc, char** argv) {
    if (argc != 3) {
        return 2;
    }
    try {
        nQVOSALS100::tStatus status;
        AliasStore store;
        if (!store.openForRead(&status)) {
            return 2;
        }
        return store.readAlias(argv[1]) == argv[2] ? 0 : 1;
    } catch (...) {
        return 2;
    }
}
