# The project's two outside libraries, both cross-built by scripts/bootstrap.sh.

# OpenSSL: static libcrypto. Only x86_64 modules link it.
if(UKEY_X64)
  if(NOT EXISTS "${UKEY_OPENSSL_ROOT}/lib/libcrypto.a")
    message(FATAL_ERROR "UKEY_OPENSSL_ROOT (${UKEY_OPENSSL_ROOT}) holds no lib/libcrypto.a: run scripts/bootstrap.sh")
  endif()
  add_library(openssl_crypto STATIC IMPORTED GLOBAL)
  set_target_properties(openssl_crypto PROPERTIES
    IMPORTED_LOCATION "${UKEY_OPENSSL_ROOT}/lib/libcrypto.a"
    INTERFACE_INCLUDE_DIRECTORIES "${UKEY_OPENSSL_ROOT}/include"
    INTERFACE_LINK_LIBRARIES "ws2_32;crypt32;bcrypt;advapi32;user32")
endif()

# GoogleTest, for the test executables.
if(UKEY_X64)
  if(NOT EXISTS "${UKEY_GTEST_ROOT}/lib/libgtest.a")
    message(FATAL_ERROR "UKEY_GTEST_ROOT (${UKEY_GTEST_ROOT}) holds no lib/libgtest.a: run scripts/bootstrap.sh")
  endif()
  add_library(gtest_lib STATIC IMPORTED GLOBAL)
  set_target_properties(gtest_lib PROPERTIES
    IMPORTED_LOCATION "${UKEY_GTEST_ROOT}/lib/libgtest.a"
    INTERFACE_INCLUDE_DIRECTORIES "${UKEY_GTEST_ROOT}/include")
  add_library(gtest_main_lib STATIC IMPORTED GLOBAL)
  set_target_properties(gtest_main_lib PROPERTIES
    IMPORTED_LOCATION "${UKEY_GTEST_ROOT}/lib/libgtest_main.a"
    INTERFACE_LINK_LIBRARIES gtest_lib)
endif()

# nlohmann/json (header only, Debian's nlohmann-json3-dev). Reached through a
# folder of its own: putting the host's /usr/include on the cross compiler's
# path would mix the host C headers in.
if(NOT EXISTS /usr/include/nlohmann/json.hpp)
  message(FATAL_ERROR "/usr/include/nlohmann/json.hpp missing: run scripts/bootstrap.sh (nlohmann-json3-dev)")
endif()
set(UKEY_JSON_INCLUDE ${CMAKE_BINARY_DIR}/json-include)
file(MAKE_DIRECTORY ${UKEY_JSON_INCLUDE})
file(CREATE_LINK /usr/include/nlohmann ${UKEY_JSON_INCLUDE}/nlohmann SYMBOLIC)
