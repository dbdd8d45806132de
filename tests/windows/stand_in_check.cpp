// Keeps the host's stand-in Win32 headers (tests/host_include) saying what mingw-w64's say, so
// that the unit tests assert the arguments the program really passes on Windows.
//
// Compiled, never linked, in every build against the headers the program compiles against: the
// stand-in in the host builds, mingw-w64's in the win32 and win64 builds. A difference is a
// compile error that names the type or the constant.
//  - Types (every build): the sizes and alignments listed in stand_in_layouts.h.
//  - Constants (Windows builds): every #define of the stand-in headers against <windows.h>, in
//    stand_in_constants.h, which stand_in_constants.cmake generates from those headers.
#include <windows.h>
#include <sddl.h>

#include <type_traits>

// The host is a 64-bit data model, so it takes the 64-bit columns.
#define STAND_IN_SIZE(size32, size64) (sizeof(void *) == 8 ? (size64) : (size32))
#define STAND_IN_LAYOUT(type, size32, align32, size64, align64)                                          \
    static_assert(sizeof(type) == STAND_IN_SIZE(size32, size64) &&                                     \
                      alignof(type) == STAND_IN_SIZE(align32, align64),                                \
                  #type ": size or alignment is not the one in stand_in_layouts.h");
#define STAND_IN_INTEGER(type, size32, size64, isSigned)                                                 \
    static_assert(std::is_integral<type>::value && sizeof(type) == STAND_IN_SIZE(size32, size64) &&    \
                      alignof(type) == sizeof(type) && std::is_signed<type>::value == (isSigned),      \
                  #type ": size, alignment or signedness is not the one in stand_in_layouts.h");
#include "stand_in_layouts.h"

#ifdef _WIN32
namespace stand_in {

constexpr bool sameText(const char *a, const char *b) {
    for (; *a != '\0' && *a == *b; ++a, ++b) {
    }
    return *a == *b;
}

// One overload for each type of a brace initializer the stand-in defines.
constexpr bool sameInitializer(const SRWLOCK &a, const SRWLOCK &b) { return a.Ptr == b.Ptr; }
constexpr bool sameInitializer(const CONDITION_VARIABLE &a, const CONDITION_VARIABLE &b) { return a.Ptr == b.Ptr; }

}  // namespace stand_in

#include "stand_in_constants.h"
#endif
