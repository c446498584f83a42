// Uses the whole installed interface as a module could, so that linking against Setup.exe's
// import library alone fails on the first call that the headers make inline into code Setup.exe
// does not export. Built, never run.
#include "InstalledInterface.h"

#include <new>
#include <type_traits>
#include <utility>

namespace {

// Every special member of `Class` that a module may use.
template <class Class>
void UseSpecialMembers(Class* object, Class* other, void* storage)
{
    if constexpr (std::is_default_constructible_v<Class>)
        ::new (storage) Class;
    if constexpr (std::is_copy_constructible_v<Class>)
        ::new (storage) Class(*other);
    if constexpr (std::is_move_constructible_v<Class>)
        ::new (storage) Class(std::move(*other));
    if constexpr (std::is_copy_assignable_v<Class>)
        *object = *other;
    if constexpr (std::is_move_assignable_v<Class>)
        *object = std::move(*other);
    if constexpr (std::is_destructible_v<Class>)
        object->~Class();
}

}  // namespace

extern "C" __declspec(dllexport) void UseExportedClasses(void* object, void* other, void* storage)
{
#define CORVANE_USE_CLASS(Class) \
    UseSpecialMembers(static_cast<Class*>(object), static_cast<Class*>(other), storage);
    CORVANE_EXPORTED_CLASSES(CORVANE_USE_CLASS)
#undef CORVANE_USE_CLASS
}
