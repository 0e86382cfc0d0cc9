# Shared compile settings: every target links orvanta_options.
add_library(orvanta_options INTERFACE)
target_compile_features(orvanta_options INTERFACE cxx_std_20)
target_compile_options(orvanta_options INTERFACE
  $<$<COMPILE_LANG_AND_ID:CXX,GNU,Clang>:-Wall -Wextra -Wshadow -Wconversion -Wno-sign-conversion -Wpedantic
    -Wold-style-cast -Wnon-virtual-dtor -Woverloaded-virtual -Wsuggest-override -Wformat=2>
  $<$<AND:$<BOOL:${ORVANTA_WERROR}>,$<COMPILE_LANG_AND_ID:CXX,GNU,Clang>>:-Werror>)
target_compile_definitions(orvanta_options INTERFACE
  ORVANTA_VERSION_MAJOR=${PROJECT_VERSION_MAJOR}
  ORVANTA_VERSION_MINOR=${PROJECT_VERSION_MINOR}
  ORVANTA_VERSION_PATCH=${PROJECT_VERSION_PATCH}
  ORVANTA_VERSION_TWEAK=${PROJECT_VERSION_TWEAK}
  # Qt's guards against silent conversions: bytes taken as text, strings taken as addresses, narrowing
  # signal-to-slot arguments.
  QT_NO_CAST_FROM_BYTEARRAY QT_NO_URL_CAST_FROM_STRING QT_NO_NARROWING_CONVERSIONS_IN_CONNECT QT_NO_FOREACH)

# orvanta_library(<name> <folder-target> SOURCES ...): one static library per folder.
function(orvanta_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;PUBLIC;PRIVATE" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC orvanta_options ${ARG_PUBLIC} PRIVATE ${ARG_PRIVATE})
endfunction()
