# lumaro_include_root(<target> <prefix> <header>...)
#
# Gives <target> a public include folder of its own in the build tree that holds
# links to exactly the listed headers, spelled "<prefix>/<name>". A file can then
# include a library's header only if its target links that library: an include
# that runs against the layers fails to compile instead of slipping through.
# Links, not copies, so an edited header is seen at once and compiler messages
# lead back to the real file.
function(lumaro_include_root target prefix)
  set(root ${PROJECT_BINARY_DIR}/include/${target})
  set(dir ${root})
  if(prefix)
    set(dir ${root}/${prefix})
  endif()
  # Start empty, so a header that was removed or moved does not linger.
  file(REMOVE_RECURSE ${root})
  file(MAKE_DIRECTORY ${dir})
  foreach(header IN LISTS ARGN)
    get_filename_component(name ${header} NAME)
    file(CREATE_LINK ${header} ${dir}/${name} SYMBOLIC)
  endforeach()
  target_include_directories(${target} PUBLIC $<BUILD_INTERFACE:${root}>)
endfunction()

# lumaro_folder_library(<name> <folder> [LIBS ...] [PRIVATE_LIBS ...] [EXCLUDE file ...]):
# every source file of the calling folder but the excluded ones is the static
# library <name>, whose headers are included as "<folder>/Name.h".
function(lumaro_folder_library name folder)
  cmake_parse_arguments(L "" "" "LIBS;PRIVATE_LIBS;EXCLUDE" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  foreach(file IN LISTS L_EXCLUDE)
    list(REMOVE_ITEM sources ${CMAKE_CURRENT_SOURCE_DIR}/${file})
  endforeach()
  file(GLOB headers CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
  add_library(${name} STATIC ${sources} ${headers})
  lumaro_include_root(${name} ${folder} ${headers})
  target_link_libraries(${name} PUBLIC ${L_LIBS} PRIVATE lumaro_strict ${L_PRIVATE_LIBS})
endfunction()
