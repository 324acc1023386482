// A board driver library that lacks "_readExternalCalInterval": it reads a verification time, so
// that a report reaches the missing function, and has no self-calibration record.
#include <cstdint>

extern "C" {

std::int32_t qvkelppartu_readSelfCalTime(const char*, std::int64_t*,
                                                                                 std::uint64_t*) {
    return -52006;
}

std::int32_t
qvkelppartu_readExternalCalVerificationTime(const char*, std::int64_t* seconds, std::uint64_t* fraction) {
    *seconds = 3840652800;
    *fraction = 0;
    return 0;
}
}
