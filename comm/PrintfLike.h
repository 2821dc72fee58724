#pragma once
// LEDSIGN_PRINTF_LIKE(FORMAT, FIRST): the function's parameter FORMAT (counted from 1; a member
// function's implicit `this` is 1) is a printf format whose arguments begin at parameter FIRST,
// so that the compiler checks every call's arguments against its format (-Wformat).
//
// MinGW: the C++ library there uses the C99-conforming printf of the MinGW runtime (%zu, %lld
// mean what they mean elsewhere), which the compiler knows as gnu_printf; plain `printf` would
// check against Microsoft's runtime instead. Compilers without the attribute check nothing.

#if defined(__MINGW32__)
#define LEDSIGN_PRINTF_LIKE(FORMAT, FIRST) __attribute__((format(gnu_printf, FORMAT, FIRST)))
#elif defined(__GNUC__) || defined(__clang__)
#define LEDSIGN_PRINTF_LIKE(FORMAT, FIRST) __attribute__((format(printf, FORMAT, FIRST)))
#else
#define LEDSIGN_PRINTF_LIKE(FORMAT, FIRST)
#endif
