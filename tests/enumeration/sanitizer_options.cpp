// Allocation-failure tests ask for more memory than exists; the sanitizer must let the allocator
// answer with null, as the plain allocator does, instead of stopping the program.
extern "C" const char* __asan_default_options() {
    return "allocator_may_return_null=1";
}
