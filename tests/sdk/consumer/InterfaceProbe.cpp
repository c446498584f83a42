// Uses the whole installed interface as a module could (see InterfaceProbe.cmake). Built, never run.
#include "InstalledInterface.h"  // every installed header, and CORVANE_EXPORTED_CLASSES

#include <new>
#include <type_traits>
#include <utility>

namespace {

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
#define CORVANE_USE(Class) UseSpecialMembers(static_cast<Class*>(object), static_cast<Class*>(other), storage);
    CORVANE_EXPORTED_CLASSES(CORVANE_USE)
#undef CORVANE_USE
}
