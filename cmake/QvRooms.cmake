# The include rule, enforced by the build. Every folder of the tree is included by its path from the
# root ("support/status.h"), so a target given the root could include any folder. Instead each target
# gets an include root of its own in the build tree holding links to just the folders it may include,
# and the libraries it links bring theirs: an include of a folder above or beside it names a path
# that no root of its holds, and the compiler stops with "No such file or directory".

# qv_add_rooms(<target> <PUBLIC|PRIVATE|INTERFACE> <room>...): a room is a folder or a single file,
# named by its path from the tree's root, or as name=path when it is included under another name
# (hwsys=include/hwsys). What a target may include itself (PRIVATE) and what it hands on to those
# that link it (PUBLIC, INTERFACE) are separate roots. A root is emptied the first time a configure
# run fills it, so that no link of an earlier layout stays behind.
function(qv_add_rooms target scope)
  set(root_name ${target})
  if(scope STREQUAL "PRIVATE")
    string(APPEND root_name ".private")
  endif()
  set(root ${PROJECT_BINARY_DIR}/rooms/${root_name})
  get_property(filled GLOBAL PROPERTY QV_ROOT_FILLED_${root_name})
  if(NOT filled)
    file(REMOVE_RECURSE ${root})
    file(MAKE_DIRECTORY ${root})
    set_property(GLOBAL PROPERTY QV_ROOT_FILLED_${root_name} TRUE)
  endif()
  foreach(room IN LISTS ARGN)
    if(room MATCHES "^([^=]+)=(.+)$")
      set(name ${CMAKE_MATCH_1})
      set(folder ${CMAKE_MATCH_2})
    else()
      set(name ${room})
      set(folder ${room})
    endif()
    if(NOT EXISTS ${PROJECT_SOURCE_DIR}/${folder})
      message(FATAL_ERROR "qv_add_rooms(${target}): ${folder} does not exist")
    endif()
    get_filename_component(parent ${root}/${name} DIRECTORY)
    file(MAKE_DIRECTORY ${parent})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${root}/${name} SYMBOLIC)
  endforeach()
  target_include_directories(${target} ${scope} ${root})
endfunction()

# qv_add_module_layer(<target> OVER <layers>...): the module's folder of the calling CMakeLists.txt
# as an object library that may include itself and the layers it is built over (and what those may).
# Object libraries, so that the module and any other library made of the same code (the unit tests'
# core, a test build of the module) link the very same objects.
function(qv_add_module_layer target)
  cmake_parse_arguments(PARSE_ARGV 1 layer "" "" "OVER")
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  add_library(${target} OBJECT ${sources})
  file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  qv_add_rooms(${target} PUBLIC ${folder})
  target_link_libraries(${target} PUBLIC ${layer_OVER})
  set_target_properties(${target} PROPERTIES CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
endfunction()
