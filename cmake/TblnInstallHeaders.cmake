# Run at install time (apps/lib/CMakeLists.txt): installs the public headers under
# <include>/tbln/, with their includes of one another written as <tbln/ROOM/NAME.hpp>, so
# that a consumer has one include root and writes #include <tbln/tbln.hpp>. In the tree
# the same headers include each other as "ROOM/NAME.hpp" from src/.
# Expects TBLN_SOURCE_DIR, TBLN_BINARY_DIR and TBLN_INCLUDE_DEST (relative to the prefix).
set(rooms core platform automation library)
string(JOIN "|" room_pattern ${rooms})
set(staging ${TBLN_BINARY_DIR}/installed-headers/tbln)
file(REMOVE_RECURSE ${staging})

function(tbln_stage_header source destination)
    file(READ ${source} text)
    string(REGEX REPLACE "#include \"((${room_pattern})/[^\"]+)\"" "#include <tbln/\\1>" text
           "${text}")
    file(WRITE ${destination} "${text}")
endfunction()

tbln_stage_header(${TBLN_SOURCE_DIR}/apps/lib/tbln.hpp ${staging}/tbln.hpp)
foreach(room IN LISTS rooms)
    file(GLOB headers ${TBLN_SOURCE_DIR}/src/${room}/*.hpp)
    foreach(header IN LISTS headers)
        get_filename_component(name ${header} NAME)
        tbln_stage_header(${header} ${staging}/${room}/${name})
    endforeach()
endforeach()
# file(INSTALL) honours DESTDIR, reports each file and records it in the install manifest.
file(INSTALL ${staging} DESTINATION ${CMAKE_INSTALL_PREFIX}/${TBLN_INCLUDE_DEST})
