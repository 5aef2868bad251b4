# Reads the plug-in list, plugins.txt at the top of the tree (NAME KIND [FOLDER] a line),
# into
#   LOOM_PLUGINS                every plug-in's name (its target, NAME.so), in the file's order
#   LOOM_TEXTURES, LOOM_FILTERS the names of each kind
#   LOOM_PLUGIN_FOLDER_<NAME>   its folder, relative to the top of the tree
# and writes the same to BUILD/plugins.json for the scripts that work on a build:
#   {"plugins": [{"name": "...", "kind": "texture", "folder": "..."}, ...]}
set(_loom_list_file ${CMAKE_SOURCE_DIR}/plugins.txt)
set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
             ${_loom_list_file})
file(STRINGS ${_loom_list_file} _loom_lines)
set(LOOM_PLUGINS)
set(LOOM_TEXTURES)
set(LOOM_FILTERS)
set(_loom_json)
foreach(_line IN LISTS _loom_lines)
  string(STRIP "${_line}" _line)
  if(_line STREQUAL "" OR _line MATCHES "^#")
    continue()
  endif()
  string(REGEX REPLACE "[ \t]+" ";" _fields "${_line}")
  list(LENGTH _fields _count)
  list(GET _fields 0 _name)
  if(_count GREATER 1)
    list(GET _fields 1 _kind)
  else()
    set(_kind "")
  endif()
  set(_folder ${_name})
  if(_count GREATER 2)
    list(GET _fields 2 _folder)
  endif()
  if(_count GREATER 3 OR NOT _name MATCHES "^[a-z][a-z0-9_]*$"
     OR NOT _kind MATCHES "^(texture|filter)$" OR NOT _folder MATCHES "^[A-Za-z0-9_./-]+$"
     OR _folder MATCHES "(^|/)\\.\\.(/|$)")
    message(FATAL_ERROR "plugins.txt: \"${_line}\" is not NAME texture|filter [FOLDER]")
  endif()
  if(_name IN_LIST LOOM_PLUGINS)
    message(FATAL_ERROR "plugins.txt: ${_name} is listed twice")
  endif()
  if(NOT EXISTS ${CMAKE_SOURCE_DIR}/${_folder}/CMakeLists.txt)
    message(FATAL_ERROR "plugins.txt: ${_name}: no ${_folder}/CMakeLists.txt")
  endif()
  list(APPEND LOOM_PLUGINS ${_name})
  if(_kind STREQUAL "texture")
    list(APPEND LOOM_TEXTURES ${_name})
  else()
    list(APPEND LOOM_FILTERS ${_name})
  endif()
  set(LOOM_PLUGIN_FOLDER_${_name} ${_folder})
  if(_loom_json)
    string(APPEND _loom_json ",\n")
  endif()
  string(APPEND _loom_json
         "    {\"name\": \"${_name}\", \"kind\": \"${_kind}\", \"folder\": \"${_folder}\"}")
endforeach()
if(NOT LOOM_PLUGINS)
  message(FATAL_ERROR "plugins.txt lists no plug-in")
endif()
file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/plugins.json
     CONTENT "{\"plugins\": [\n${_loom_json}\n]}\n" @ONLY)
