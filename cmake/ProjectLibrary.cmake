# project_library(name [AUTOMOC] SOURCES ... [PRIVATE_HEADERS ...] [PUBLIC_LINK ...] [PRIVATE_LINK ...])
# A static library. Headers are included by their path from the project folder
# ("common/clsDatFile.h"). Dependents see the library's public headers, and
# only those, through links in build/include/<name>; the headers named in
# PRIVATE_HEADERS (a reader's detail) are reachable from the library's own
# sources and from the tests, which include from the project folder.
function(project_library name)
  cmake_parse_arguments(PL "AUTOMOC" "" "SOURCES;PRIVATE_HEADERS;PUBLIC_LINK;PRIVATE_LINK" ${ARGN})
  add_library(${name} STATIC ${PL_SOURCES})
  target_link_libraries(${name} PUBLIC ${PL_PUBLIC_LINK} PRIVATE ${PL_PRIVATE_LINK})
  if(PL_AUTOMOC)
    set_target_properties(${name} PROPERTIES AUTOMOC ON)
  endif()

  set(root ${PROJECT_BINARY_DIR}/include/${name})
  # Links left from an earlier configuration would keep a header public.
  file(GLOB_RECURSE old LIST_DIRECTORIES false ${root}/*)
  foreach(link ${old})
    if(IS_SYMLINK ${link})
      file(REMOVE ${link})
    endif()
  endforeach()
  set(public ${PL_SOURCES})
  list(FILTER public INCLUDE REGEX "\\.h$")
  if(PL_PRIVATE_HEADERS)
    list(REMOVE_ITEM public ${PL_PRIVATE_HEADERS})
    target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  endif()
  foreach(header ${public})
    file(RELATIVE_PATH path ${PROJECT_SOURCE_DIR} ${header})
    get_filename_component(folder ${root}/${path} DIRECTORY)
    file(MAKE_DIRECTORY ${folder})
    file(CREATE_LINK ${header} ${root}/${path} SYMBOLIC)
  endforeach()
  target_include_directories(${name} PUBLIC ${root})
endfunction()
