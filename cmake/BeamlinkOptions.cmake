# One interface target carries the language level, warnings and Qt's strict defines;
# every target of the project links it.
option(BEAMLINK_WERROR "Treat compiler warnings as errors" OFF)
option(BEAMLINK_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)

add_library(beamlink_options INTERFACE)
target_compile_features(beamlink_options INTERFACE cxx_std_20)
target_compile_options(beamlink_options INTERFACE -Wall -Wextra -Wpedantic -Wshadow=local
                                                  -Wnon-virtual-dtor)
target_compile_definitions(beamlink_options INTERFACE
  QT_NO_CAST_FROM_ASCII
  QT_NO_CAST_TO_ASCII
  QT_NO_CAST_FROM_BYTEARRAY
  QT_NO_URL_CAST_FROM_STRING
  QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
  QT_NO_CONTEXTLESS_CONNECT
  QT_NO_KEYWORDS)
if(BEAMLINK_WERROR)
  target_compile_options(beamlink_options INTERFACE -Werror)
endif()
if(BEAMLINK_SANITIZE)
  target_compile_options(beamlink_options INTERFACE -fsanitize=address,undefined
                                                    -fno-sanitize-recover=all -fno-omit-frame-pointer)
  target_link_options(beamlink_options INTERFACE -fsanitize=address,undefined
                                                 -fno-sanitize-recover=all)
endif()

# A static library of every .cpp in the calling folder; QT turns on moc and uic (which finds the
# .ui files beside the sources).
function(beamlink_folder_library name)
  cmake_parse_arguments(ARG "QT" "" "EXCLUDE;LINK" ${ARGN})
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp)
  foreach(skip IN LISTS ARG_EXCLUDE)
    list(REMOVE_ITEM sources ${CMAKE_CURRENT_SOURCE_DIR}/${skip})
  endforeach()
  add_library(${name} STATIC ${sources})
  target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC beamlink_options ${ARG_LINK})
  if(ARG_QT)
    set_target_properties(${name} PROPERTIES AUTOMOC ON AUTOUIC ON)
  endif()
endfunction()
