# Authenticode signatures for the Windows build. When the environment variables KIV_SIGNING_PFX (a
# PKCS#12 file with the code-signing certificate and its key) and KIV_SIGNING_PASSWORD are set while
# the build is configured and built, every executable named with kiv_sign_executable and the
# Windows Installer package are signed by scripts/sign.sh (KIV_SIGNING_TIMESTAMP_URL: a timestamp
# server). Without them nothing is signed. The password is read at build time only, never stored in
# the build tree.
if(NOT "$ENV{KIV_SIGNING_PFX}" STREQUAL "" AND NOT "$ENV{KIV_SIGNING_PASSWORD}" STREQUAL "")
  set(KIV_SIGNING ON)
  find_program(OSSLSIGNCODE_EXECUTABLE osslsigncode)
  if(NOT OSSLSIGNCODE_EXECUTABLE)
    message(FATAL_ERROR "KIV_SIGNING_PFX is set but osslsigncode is missing (Debian: apt-get install osslsigncode)")
  endif()
  message(STATUS "Signing with $ENV{KIV_SIGNING_PFX}")
else()
  set(KIV_SIGNING OFF)
  if(NOT "$ENV{KIV_SIGNING_PFX}" STREQUAL "")
    message(WARNING "KIV_SIGNING_PFX is set but KIV_SIGNING_PASSWORD is empty: nothing is signed")
  endif()
endif()
set(KIV_SIGN_SCRIPT ${PROJECT_SOURCE_DIR}/scripts/sign.sh)

# Changes whenever signing is switched on or off or takes another certificate or timestamp server:
# the signed files depend on it, so that they are made (and signed, or not) again.
set(KIV_SIGNING_STAMP ${CMAKE_BINARY_DIR}/signing.txt)
file(CONFIGURE OUTPUT ${KIV_SIGNING_STAMP}
     CONTENT "signing: ${KIV_SIGNING}\ncertificate: $ENV{KIV_SIGNING_PFX}\ntimestamp: $ENV{KIV_SIGNING_TIMESTAMP_URL}\n")

# kiv_sign_executable(<target>): signs the target's file right after each link.
function(kiv_sign_executable target)
  set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${KIV_SIGNING_STAMP})
  if(KIV_SIGNING)
    add_custom_command(TARGET ${target} POST_BUILD
                       COMMAND ${KIV_SIGN_SCRIPT} $<TARGET_FILE:${target}> ${target}
                       COMMENT "Signing ${target}"
                       VERBATIM)
  endif()
endfunction()

# kiv_sign_file_commands(<variable> <file> <description>): sets <variable> to the COMMAND arguments
# that sign <file>, for the custom command that makes it; empty when nothing is signed.
function(kiv_sign_file_commands variable file description)
  if(KIV_SIGNING)
    set(${variable} COMMAND ${KIV_SIGN_SCRIPT} ${file} ${description} PARENT_SCOPE)
  else()
    set(${variable} "" PARENT_SCOPE)
  endif()
endfunction()
