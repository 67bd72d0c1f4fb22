# THIRD-PARTY-NOTICES.txt in the build tree (KIV_THIRD_PARTY_NOTICES, target third_party_notices):
# the notices the shipped executables owe for the work of other projects they contain, written by
# cmake/WriteThirdPartyNotices.cmake from cmake/third-party-components.txt after each link. That
# script also checks each link: the archives and object files it took from outside the build tree
# (from the link map) and the headers it was compiled with (the Debian package a header library
# names in its property KIV_DEBIAN_PACKAGE, cmake/Dependencies.cmake) must come from packages that a
# component gives to that executable, or the build fails.
if(NOT MINGW)
  message(STATUS "No third-party notices: they are made for the mingw-w64 build from Debian's packages")
  return()
endif()

# The Debian packages of the header libraries that code linked into <target> is compiled with.
function(kiv_header_packages target variable)
  set(pending ${target})
  set(seen "")
  set(packages "")
  while(pending)
    list(POP_FRONT pending current)
    if(current IN_LIST seen OR NOT TARGET ${current})
      continue()
    endif()
    list(APPEND seen ${current})
    get_target_property(package ${current} KIV_DEBIAN_PACKAGE)
    if(package)
      list(APPEND packages ${package})
    endif()
    # A library's private links are linked into the executable as well.
    foreach(property LINK_LIBRARIES INTERFACE_LINK_LIBRARIES)
      get_target_property(links ${current} ${property})
      if(links)
        string(REGEX REPLACE "\\$<LINK_ONLY:([^>]*)>" "\\1" links "${links}")
        list(APPEND pending ${links})
      endif()
    endforeach()
  endwhile()
  list(REMOVE_DUPLICATES packages)
  set(${variable} ${packages} PARENT_SCOPE)
endfunction()

set(KIV_THIRD_PARTY_NOTICES ${CMAKE_BINARY_DIR}/THIRD-PARTY-NOTICES.txt)
set(components ${CMAKE_CURRENT_LIST_DIR}/third-party-components.txt)
set(script ${CMAKE_CURRENT_LIST_DIR}/WriteThirdPartyNotices.cmake)
set(executables "")
set(links "")
foreach(target SetPrimaryKiv DesktopCapture)
  set(map ${CMAKE_BINARY_DIR}/link-maps/${target}.map)
  target_link_options(${target} PRIVATE -Wl,-Map=${map})
  kiv_header_packages(${target} packages)
  set(link ${map} ${packages})
  list(JOIN link "," link)
  list(APPEND executables ${target}${CMAKE_EXECUTABLE_SUFFIX})
  list(APPEND links -D LINK_${target}${CMAKE_EXECUTABLE_SUFFIX}=${link})
endforeach()
file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/link-maps)
list(JOIN executables "," executables)
add_custom_command(
  OUTPUT ${KIV_THIRD_PARTY_NOTICES}
  COMMAND ${CMAKE_COMMAND} -D COMPONENTS=${components} -D OUTPUT=${KIV_THIRD_PARTY_NOTICES}
          -D "PRODUCT=${PROJECT_NAME} ${PROJECT_VERSION}" -D BUILD_DIR=${CMAKE_BINARY_DIR}
          -D EXECUTABLES=${executables} ${links} -P ${script}
  DEPENDS ${components} ${script} SetPrimaryKiv DesktopCapture
  COMMENT "Checking what the executables link, writing THIRD-PARTY-NOTICES.txt"
  VERBATIM)
add_custom_target(third_party_notices ALL DEPENDS ${KIV_THIRD_PARTY_NOTICES})
