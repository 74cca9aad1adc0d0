# simdjson for the arm64 cross build: the native package's headers (the same
# on every architecture) and the arm64 shared object, with the settings of
# Debian's own simdjson-config.cmake.
include(CMakeFindDependencyMacro)
find_dependency(Threads)
if(NOT TARGET simdjson::simdjson)
  add_library(simdjson::simdjson SHARED IMPORTED)
  set_target_properties(simdjson::simdjson PROPERTIES
    IMPORTED_LOCATION /usr/lib/aarch64-linux-gnu/libsimdjson.so.14
    IMPORTED_SONAME libsimdjson.so.14
    INTERFACE_COMPILE_DEFINITIONS "SIMDJSON_THREADS_ENABLED=1"
    INTERFACE_COMPILE_FEATURES cxx_std_11
    INTERFACE_INCLUDE_DIRECTORIES /usr/include
    INTERFACE_LINK_LIBRARIES Threads::Threads)
endif()
set(simdjson_FOUND TRUE)
