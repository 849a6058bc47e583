// The few C library routines the compiler may call on its own. The image
// links no C runtime, so they are here; the loops are kept from being turned
// back into calls of themselves.
#include <cstddef>

extern "C" {

__attribute__((optimize("no-tree-loop-distribute-patterns"))) void* memset(void* target, int value,
                                                                         size_t count)
{
    unsigned char* t = static_cast<unsigned char*>(target);
    while (count-- > 0)
        *t++ = static_cast<unsigned char>(value);
    return target;
}

__attribute__((optimize("no-tree-loop-distribute-patterns"))) void* memcpy(void* target,
                                                                         const void* source,
                                                                         size_t count)
{
    unsigned char* t = static_cast<unsigned char*>(target);
    const unsigned char* s = static_cast<const unsigned char*>(source);
    while (count-- > 0)
        *t++ = *s++;
    return target;
}

__attribute__((optimize("no-tree-loop-distribute-patterns"))) void* memmove(void* target,
                                                                          const void* source,
                                                                          size_t count)
{
    unsigned char* t = static_cast<unsigned char*>(target);
    const unsigned char* s = static_cast<const unsigned char*>(source);
    if (t < s) {
        while (count-- > 0)
            *t++ = *s++;
    } else {
        while (count-- > 0)
            t[count] = s[count];
    }
    return target;
}

int memcmp(const void* a, const void* b, size_t count)
{
    const unsigned char* x = static_cast<const unsigned char*>(a);
    const unsigned char* y = static_cast<const unsigned char*>(b);
    for (size_t i = 0; i < count; i++)
        if (x[i] != y[i])
            return x[i] < y[i] ? -1 : 1;
    return 0;
}

__attribute__((optimize("no-tree-loop-distribute-patterns"))) size_t strlen(const char* text)
{
    size_t n = 0;
    while (text[n] != 0)
        n++;
    return n;
}

int strcmp(const char* a, const char* b)
{
    while (*a != 0 && *a == *b) {
        a++;
        b++;
    }
    return static_cast<unsigned char>(*a) - static_cast<unsigned char>(*b);
}

}  // extern "C"
