#pragma once
// VD_ADDRESS_SANITIZER is 1 when AddressSanitizer checks this build: g++ defines
// __SANITIZE_ADDRESS__, while the clang of Debian 12 (14) only answers
// __has_feature(address_sanitizer). Code that keeps memory for reuse hands it to the heap instead
// under the sanitizer, so that its checks stay exact.
#if defined(__SANITIZE_ADDRESS__)
#define VD_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VD_ADDRESS_SANITIZER 1
#endif
#endif
#ifndef VD_ADDRESS_SANITIZER
#define VD_ADDRESS_SANITIZER 0
#endif
