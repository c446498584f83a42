// How the standard containers report a size they cannot hold, made to need no string.
//
// The C++ runtime's versions of these functions live in one object file that also builds
// std::length_error, std::out_of_range and their kin. Their messages are held in the old
// reference-counted std::string, and the object files behind that string bring the current
// std::string and std::random_device with them: about 50 KB of Setup.exe, for failures that
// only a request beyond the address space can cause. Defining the three functions that this
// program's containers call keeps the linker from taking the runtime's object file.
//
// A container asked to grow past its largest size now throws std::bad_alloc rather than
// std::length_error: in a 32-bit process such a size is an allocation that cannot succeed, and
// nothing here tells the two apart (both are std::exception). The other two keep their types.
#include <new>
#include <vector>  // declares the functions below as the containers call them

namespace std {
void __throw_bad_alloc()
{
    throw bad_alloc();
}

void __throw_bad_array_new_length()
{
    throw bad_array_new_length();
}

void __throw_length_error(const char*)
{
    throw bad_alloc();
}
}  // namespace std
