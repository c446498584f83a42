// Basic Windows types for the portable modules. On Windows they come from <windows.h>;
// elsewhere they are declared here with the same sizes (long is 32 bits in both builds).
#pragma once

#ifdef _WIN32
#  ifndef WIN32_LEAN_AND_MEAN
#    define WIN32_LEAN_AND_MEAN
#  endif
#  ifndef NOMINMAX
#    define NOMINMAX
#  endif
#  include <windows.h>
#else
typedef int BOOL;
typedef unsigned char BYTE;
typedef unsigned short WORD;
typedef unsigned long DWORD;
typedef long LONG;
typedef unsigned int UINT;
typedef char CHAR;
typedef char TCHAR;
typedef char* LPSTR;
typedef const char* LPCSTR;
typedef char* LPTSTR;
typedef const char* LPCTSTR;
typedef void* LPVOID;
typedef const void* LPCVOID;
#  ifndef TRUE
#    define TRUE 1
#  endif
#  ifndef FALSE
#    define FALSE 0
#  endif
#endif

// long is 32 bits on every target (Windows is LLP64, the host build is -m32). The product is a
// 32-bit program; the 64-bit Windows test build differs only in the size of pointers, and nothing
// that leaves a process holds one.
static_assert(sizeof(long) == 4, "long is 32 bits on every target");
#ifdef _WIN64
static_assert(sizeof(void*) == 8, "the Windows test build is 64-bit");
#else
static_assert(sizeof(void*) == 4, "the product and the host build are 32-bit");
#endif
static_assert(sizeof(DWORD) == 4 && sizeof(WORD) == 2 && sizeof(BYTE) == 1, "Windows type sizes");
