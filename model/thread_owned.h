// Objects that belong to the calling thread: made there on first use, destroyed when it ends.
#pragma once

#include <cstdlib>
#include <memory>

#ifdef _MSC_VER
#include <vector>
#else
#include <cxxabi.h>
// The handle of the module (program or library) that the compiler links into each one.
extern "C" void* __dso_handle;
#endif

// A new T of the calling thread, destroyed when that thread ends (on the main thread, when the
// program exits). Bind it to a thread_local reference, which is made on the thread's first use:
//     thread_local Channel& channel = NewOfThisThread<Channel>();
// A thread_local object with a destructor would be simpler, but mingw-w64's emulated TLS frees a
// std::thread's thread_local storage before it runs their destructors, which then work on freed
// memory. So the object lives on the heap, the reference needs no destructor, and the runtime is
// handed the object's own address to destroy, as it is for a thread_local's destructor.
template <class T>
T& NewOfThisThread()
{
    auto object = std::make_unique<T>();
#ifdef _MSC_VER
    // MSVC destroys thread_local objects before it frees their storage.
    thread_local std::vector<std::unique_ptr<void, void (*)(void*)>> owned;
    owned.emplace_back(object.get(), [](void* p) { delete static_cast<T*>(p); });
#else
    // This module's handle, as the compiler passes it for a thread_local's destructor: glibc keeps
    // the module loaded while the thread lives, and mingw-w64's runtime accepts no other address.
    if (abi::__cxa_thread_atexit([](void* p) { delete static_cast<T*>(p); }, object.get(), &__dso_handle) != 0)
        std::abort();  // out of memory for the runtime's record
#endif
    return *object.release();
}
