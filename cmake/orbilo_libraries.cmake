# The library's targets, defined once for the project and for the fuzz tree
# (tests/fuzz), which builds them under its own instrumentation: the internal
# library (orbilo_internal), the client library's objects, and the archive a
# program links (orbilo_sdk_static). The project makes its shared object of
# the same objects.
get_filename_component(ORBILO_ROOT ${CMAKE_CURRENT_LIST_DIR}/.. ABSOLUTE)

# The internal library: transport, clock and memory hooks (net/), the message
# stream's codec and cipher, and the hash table. The client library and
# orbilo-server both link it, and the tests reach its test hooks through it;
# none of it leaves the shared object.
set(ORBILO_INTERNAL_SOURCES ${ORBILO_ROOT}/sdk/stream.cpp ${ORBILO_ROOT}/sdk/stream_fields.cpp
    ${ORBILO_ROOT}/sdk/hash_table.cpp)
file(GLOB ORBILO_NET_SOURCES CONFIGURE_DEPENDS ${ORBILO_ROOT}/net/*.cpp)
list(APPEND ORBILO_INTERNAL_SOURCES ${ORBILO_NET_SOURCES})
add_library(orbilo_internal_objects OBJECT ${ORBILO_INTERNAL_SOURCES})
target_include_directories(orbilo_internal_objects PUBLIC ${ORBILO_ROOT} ${ORBILO_ROOT}/include)
add_library(orbilo_internal STATIC $<TARGET_OBJECTS:orbilo_internal_objects>)
target_include_directories(orbilo_internal PUBLIC ${ORBILO_ROOT} ${ORBILO_ROOT}/include)

# The client library's session core and interface (sdk/), over the internal library.
file(GLOB ORBILO_SDK_SOURCES CONFIGURE_DEPENDS ${ORBILO_ROOT}/sdk/*.cpp)
list(REMOVE_ITEM ORBILO_SDK_SOURCES ${ORBILO_INTERNAL_SOURCES})
add_library(orbilo_sdk_objects OBJECT ${ORBILO_SDK_SOURCES})
target_include_directories(orbilo_sdk_objects PUBLIC ${ORBILO_ROOT} ${ORBILO_ROOT}/include)

# The public headers as a program finds them once installed (<orbilo/sdk.h>,
# which includes <orbilo/result_codes.h>): the only include directory the
# library's targets give the programs that link them, so that the bot's core
# reaches nothing of the library but its face.
set(ORBILO_PUBLIC_INCLUDE ${CMAKE_BINARY_DIR}/include)
configure_file(${ORBILO_ROOT}/sdk/sdk.h ${ORBILO_PUBLIC_INCLUDE}/orbilo/sdk.h COPYONLY)
configure_file(${ORBILO_ROOT}/include/orbilo/result_codes.h
               ${ORBILO_PUBLIC_INCLUDE}/orbilo/result_codes.h COPYONLY)

# Both are compiled for the shared object: position independent, every symbol
# hidden unless the public header marks it, with debug information from which
# the ABI check reads the public types.
foreach(objects orbilo_internal_objects orbilo_sdk_objects)
  set_target_properties(${objects} PROPERTIES POSITION_INDEPENDENT_CODE ON C_VISIBILITY_PRESET hidden
                        CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
  target_compile_options(${objects} PRIVATE -g)
endforeach()

# The archive a program links: the whole library.
add_library(orbilo_sdk_static STATIC $<TARGET_OBJECTS:orbilo_sdk_objects>
            $<TARGET_OBJECTS:orbilo_internal_objects>)
set_target_properties(orbilo_sdk_static PROPERTIES OUTPUT_NAME orbilo_sdk)
target_include_directories(orbilo_sdk_static PUBLIC $<BUILD_INTERFACE:${ORBILO_PUBLIC_INCLUDE}>)
