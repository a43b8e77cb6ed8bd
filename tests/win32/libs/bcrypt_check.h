// libxcrypt's crypt_r checking a bcrypt hash made on Linux.
#pragma once

#include "check.h"

#include <string>

// Passed when PASSWORD gives HASH back and another password does not.
CheckResult bcrypt_verifies(const std::string& hash, const std::string& password);
