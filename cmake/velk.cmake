# velk_library(NAME [SOURCES files...] [EXCEPT files...] [DEPS libs...]): a
# static library of the listed sources of the folder's src/, or of every .cpp
# there except program mains (*_main.cpp) and the EXCEPT files; its public
# headers are the folder's include/NAME/.
function(velk_library name)
  cmake_parse_arguments(PARSE_ARGV 1 arg "" "" "SOURCES;EXCEPT;DEPS")
  if(arg_SOURCES)
    list(TRANSFORM arg_SOURCES PREPEND ${CMAKE_CURRENT_SOURCE_DIR}/src/ OUTPUT_VARIABLE srcs)
  else()
    file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/src/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/src/*.c)
    list(FILTER srcs EXCLUDE REGEX "_main\\.cpp$")
    foreach(other ${arg_EXCEPT})
      list(REMOVE_ITEM srcs ${CMAKE_CURRENT_SOURCE_DIR}/src/${other})
    endforeach()
  endif()
  add_library(${name} STATIC ${srcs})
  set_property(GLOBAL APPEND PROPERTY VELK_LIBRARIES ${name})
  # Public headers are included as "NAME/x.h", private ones (in src) as "x.h":
  # a library sees the headers of the libraries it links and no others.
  target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR}/include
                             PRIVATE ${CMAKE_CURRENT_SOURCE_DIR}/src)
  set_property(GLOBAL APPEND PROPERTY VELK_INCLUDE_DIRS ${CMAKE_CURRENT_SOURCE_DIR}/include)
  if(arg_DEPS)
    target_link_libraries(${name} PUBLIC ${arg_DEPS})
  endif()
endfunction()

# velk_program(NAME MAIN_SOURCE LIBS...): a program that exports its symbols
# so that plug-in libraries can call back into its RI and shading API.
function(velk_program name main)
  add_executable(${name} ${main})
  target_link_libraries(${name} PRIVATE ${ARGN})
  set_target_properties(${name} PROPERTIES ENABLE_EXPORTS ON
                        RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR}/bin)
endfunction()

# velk_tests(NAME DIR LIBS...): one GoogleTest program from tests/DIR/*.cpp.
function(velk_tests name dir)
  file(GLOB srcs CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.cpp)
  if(NOT srcs)
    return()
  endif()
  add_executable(${name} ${srcs})
  target_link_libraries(${name} PRIVATE ${ARGN} velk_test_support velk_test_environment
                        GTest::gtest GTest::gtest_main)
  set_target_properties(${name} PROPERTIES ENABLE_EXPORTS ON)
  set(props "")
  if(VELK_SANITIZE)
    target_compile_definitions(${name} PRIVATE VELK_SANITIZED=1)
    set(props PROPERTIES ENVIRONMENT "LSAN_OPTIONS=${VELK_LSAN_OPTIONS}")
  endif()
  gtest_discover_tests(${name} WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
                       DISCOVERY_TIMEOUT 60 ${props})
endfunction()

# velk_write_library_listing(FILE): one line per project library, "name|archive|links",
# for the layering check.
function(velk_write_library_listing file)
  get_property(libs GLOBAL PROPERTY VELK_LIBRARIES)
  set(text "")
  foreach(lib ${libs})
    get_target_property(links ${lib} LINK_LIBRARIES)
    if(NOT links)
      set(links "")
    endif()
    string(APPEND text "${lib}|$<TARGET_FILE:${lib}>|${links}\n")
  endforeach()
  file(GENERATE OUTPUT ${file} CONTENT "${text}")
endfunction()
