// Under AddressSanitizer, makes an allocation above a fixed size fail the way the platform's
// does when memory runs out (a null result) instead of ending the process. Tests and fuzz
// targets use it to reach the out-of-memory paths with lengths that archives announce. A 32-bit
// process under emulation cannot map such blocks reliably, nor a large quarantine of freed
// memory, which is kept small for that reason.
#if defined(__has_feature)
#  if __has_feature(address_sanitizer)
extern "C" const char* __asan_default_options()
{
    return "allocator_may_return_null=1:max_allocation_size_mb=32:quarantine_size_mb=4";
}
#  endif
#endif
