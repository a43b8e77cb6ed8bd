# The libraries of serve's web side beyond reading (TLS, users, settings,
# program files) and of korvanthine-ctl's --url, hash-password and program
# files: OpenSSL, yaml-cpp and the crypt library's bcrypt.
#
# Linux takes Debian's packages. The Windows build takes them from the
# static MinGW-w64 builds of scripts/win32-libs.sh, whose install folders
# KORVANTHINE_WIN32_LIBS names; without them it builds as before: serve
# read-only, no program files, no --url.
#
# Sets KORVANTHINE_WEB, and where it is ON the targets korvanthine_yaml and
# korvanthine_crypt beside OpenSSL::SSL and OpenSSL::Crypto.
set(KORVANTHINE_WIN32_LIBS "" CACHE STRING
    "Windows build: the install folders of scripts/win32-libs.sh (;-separated), for TLS, users and program files")

set(KORVANTHINE_WEB OFF)
if(NOT WIN32)
  set(KORVANTHINE_WEB ON)
elseif(KORVANTHINE_WIN32_LIBS)
  set(KORVANTHINE_WEB ON)
  # Those folders go before the MinGW root, and nothing of the host's is taken.
  list(PREPEND CMAKE_FIND_ROOT_PATH ${KORVANTHINE_WIN32_LIBS})
  set(OPENSSL_USE_STATIC_LIBS TRUE)
endif()

if(KORVANTHINE_WEB)
  find_package(OpenSSL 3.0 REQUIRED)
  find_package(yaml-cpp REQUIRED)
  find_path(KORVANTHINE_CRYPT_INCLUDE_DIR crypt.h REQUIRED)
  find_library(KORVANTHINE_CRYPT_LIBRARY NAMES crypt REQUIRED)

  add_library(korvanthine_yaml INTERFACE)
  target_link_libraries(korvanthine_yaml INTERFACE yaml-cpp)
  add_library(korvanthine_crypt INTERFACE)
  target_link_libraries(korvanthine_crypt INTERFACE ${KORVANTHINE_CRYPT_LIBRARY})
  if(WIN32)
    # Linux's crypt.h is in the compiler's own /usr/include, which must not
    # be named again (it would change the order of the system's headers).
    target_include_directories(korvanthine_crypt SYSTEM INTERFACE ${KORVANTHINE_CRYPT_INCLUDE_DIR})
    # A static OpenSSL takes the system's certificate store and sockets.
    set_property(TARGET OpenSSL::Crypto APPEND PROPERTY INTERFACE_LINK_LIBRARIES ws2_32 crypt32 user32 advapi32)
  endif()
endif()
