# tessaly_layer(NAME DIRS dir... [DEPS target...])
# One static library per layer, built from every .cpp/.c in its folders, so that
# adding a source file needs no edit here. A layer with no sources yet is an
# INTERFACE library that still carries its dependencies and include path.
function(tessaly_layer name)
    cmake_parse_arguments(L "" "" "DIRS;DEPS" ${ARGN})
    set(sources)
    foreach(dir ${L_DIRS})
        file(GLOB found CONFIGURE_DEPENDS
             ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.c)
        list(APPEND sources ${found})
    endforeach()
    if(sources)
        add_library(${name} STATIC ${sources})
        target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
        target_link_libraries(${name} PUBLIC ${L_DEPS})
    else()
        add_library(${name} INTERFACE)
        target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR}/src)
        target_link_libraries(${name} INTERFACE ${L_DEPS})
    endif()
endfunction()

# tessaly_test_suite(NAME DIR [DEPS target...]): one GoogleTest program per test folder.
function(tessaly_test_suite name dir)
    cmake_parse_arguments(T "" "" "DEPS" ${ARGN})
    file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.cpp)
    if(NOT sources)
        return()
    endif()
    add_executable(${name} ${sources})
    target_link_libraries(${name} PRIVATE ${T_DEPS} tessaly_test_support GTest::gtest GTest::gmock GTest::gtest_main)
    gtest_discover_tests(${name}
        WORKING_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}
        DISCOVERY_TIMEOUT 60
        PROPERTIES TIMEOUT 300 ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
endfunction()
