# Each source folder's headers are included as "folder/name.h". The source tree itself is on no
# include path: every folder gets a root of its own in the build tree (layers/<folder>, holding
# one link named <folder> to the source folder), and a target puts on its path only the roots of
# its own folder and, through its links, those of the layers below it. An include that runs up
# the layers (commands/ reaching for app/, app/ for sim/) then finds no file and stops the build.

# tarv_folder_headers(<target> <PUBLIC|PRIVATE|INTERFACE> <folder>...)
function(tarv_folder_headers target scope)
  foreach(folder IN LISTS ARGN)
    set(root ${PROJECT_BINARY_DIR}/layers/${folder})
    if(NOT EXISTS ${root}/${folder})
      file(MAKE_DIRECTORY ${root})
      file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${root}/${folder} RESULT linked SYMBOLIC)
      if(NOT linked EQUAL 0)
        # A file system without symbolic links (Windows without developer mode): a copy of the
        # headers would go stale, so such a build falls back to the whole tree, unchecked.
        message(WARNING "No symbolic link for ${folder}/ (${linked}): this build does not check the layers")
        set(root ${PROJECT_SOURCE_DIR})
      endif()
    endif()
    target_include_directories(${target} ${scope} ${root})
  endforeach()
endfunction()
