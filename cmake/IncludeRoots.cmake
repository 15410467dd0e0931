# Each library publishes only its own headers. A library's folder is reached
# through an include root of its own in the build tree (include/<target>/),
# which holds nothing but a link to that folder under the name the sources
# spell it by ("database/Ado.h"). A target sees a library's headers only by
# linking it, so a lower layer cannot include a higher one: its compiler
# never gets the higher layer's root.
#
#   qm_publish_headers(<target> <name>)
#
# <name> is the folder's path below src/ (e.g. export/document), which must be
# the target's own source folder.
function(qm_publish_headers target name)
    set(root ${PROJECT_BINARY_DIR}/include/${target})
    set(link ${root}/${name})
    get_filename_component(parent ${link} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    if(NOT IS_SYMLINK ${link})
        file(CREATE_LINK ${CMAKE_CURRENT_SOURCE_DIR} ${link} SYMBOLIC)
    endif()
    target_include_directories(${target} PUBLIC ${root})
endfunction()
