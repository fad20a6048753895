# orva_export_headers(<target> <folder> [<included-as>])
# The target's headers are included as "<folder>/name.h" (or "<included-as>/name.h"), and only by
# the targets that link it:
# each library gets an include root of its own, holding nothing but a link to its folder, so an
# include against the layering fails the build. Windows, where making links needs privileges,
# includes from the source root instead and does not check the layering.
function(orva_export_headers target folder)
    if(WIN32)
        target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR}
                                                     ${PROJECT_SOURCE_DIR}/tests)
        return()
    endif()
    set(name ${folder})
    if(ARGC GREATER 2)
        set(name ${ARGV2})
    endif()
    set(root ${PROJECT_BINARY_DIR}/include/${target})
    get_filename_component(parent ${root}/${name} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    if(NOT EXISTS ${root}/${name})
        file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${root}/${name} SYMBOLIC)
    endif()
    target_include_directories(${target} PUBLIC ${root})
endfunction()
