# tbln_warnings: the compiler warnings tbln's own code is built with, as an interface
# target rather than global flags, and tbln_link_warnings, which links it (and after it
# tbln_sanitizers, which the top level fills when the sanitizers are on) to every target
# the tree declares; it is called once at the end of the top-level CMakeLists.txt.
# TBLN_WERROR turns the warnings into errors.
add_library(tbln_warnings INTERFACE)
target_compile_options(tbln_warnings INTERFACE
    "$<$<COMPILE_LANGUAGE:CXX>:-Wall;-Wextra;-Wpedantic;-Wshadow;-Wconversion;-Wno-sign-conversion>"
    # -Wrestrict (GCC's alone) is off: GCC 12 reports false positives inside std::string
    # concatenation.
    "$<$<COMPILE_LANG_AND_ID:CXX,GNU>:-Wno-restrict>"
    "$<$<AND:$<COMPILE_LANGUAGE:CXX>,$<BOOL:${TBLN_WERROR}>>:-Werror>")
add_library(tbln_sanitizers INTERFACE)

# Links tbln_warnings and tbln_sanitizers to every target built from `dir` and the folders below it.
function(tbln_link_warnings dir)
    get_property(targets DIRECTORY ${dir} PROPERTY BUILDSYSTEM_TARGETS)
    foreach(target IN LISTS targets)
        get_target_property(type ${target} TYPE)
        if(type MATCHES "^(STATIC_LIBRARY|SHARED_LIBRARY|MODULE_LIBRARY|OBJECT_LIBRARY|EXECUTABLE)$")
            # The property, not target_link_libraries, so that it does not matter which
            # signature the target's own calls used; first, so that the flags come before
            # those of the other libraries; only while building the tree.
            get_target_property(libraries ${target} LINK_LIBRARIES)
            if(NOT libraries)
                set(libraries "")
            endif()
            set_property(TARGET ${target} PROPERTY LINK_LIBRARIES
                         $<BUILD_INTERFACE:tbln_warnings> $<BUILD_INTERFACE:tbln_sanitizers>
                         ${libraries})
        endif()
    endforeach()
    get_property(subdirs DIRECTORY ${dir} PROPERTY SUBDIRECTORIES)
    foreach(subdir IN LISTS subdirs)
        tbln_link_warnings(${subdir})
    endforeach()
endfunction()
