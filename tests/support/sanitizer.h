#pragma once
// ORV_ADDRESS_SANITIZER is defined when the build runs under the address sanitizer, which
// reserves far more address space than a test's memory limit would leave.

#if defined(__SANITIZE_ADDRESS__)
#define ORV_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ORV_ADDRESS_SANITIZER 1
#endif
#endif
