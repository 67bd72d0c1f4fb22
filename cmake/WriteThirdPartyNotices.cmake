# cmake -P script, run by the build (cmake/ThirdPartyNotices.cmake): checks what each executable
# links against the component list, then writes the third-party notices with Windows line ends.
#   COMPONENTS  the component list (cmake/third-party-components.txt)
#   OUTPUT      the notices file to write
#   PRODUCT     the product and its version, for the title
#   BUILD_DIR   the build tree: the files linked from there are the project's own
#   EXECUTABLES the executables' file names, separated by commas
#   LINK_<executable>  its link map, then the Debian packages of the headers it is compiled with,
#               separated by commas
# Fails, writing nothing, when an executable links code from a package that no component gives it,
# when a linked file belongs to no package, or when a package is not installed.
cmake_minimum_required(VERSION 3.25)

# The components, and for each executable the packages it may link.
file(STRINGS ${COMPONENTS} lines REGEX "^[^#]")
set(components "")
foreach(line IN LISTS lines)
  list(LENGTH components index)
  string(REPLACE "|" ";" fields "${line}")
  list(LENGTH fields field_count)
  if(NOT field_count EQUAL 3)
    message(FATAL_ERROR "${COMPONENTS}: not \"name | packages | executables\": ${line}")
  endif()
  list(GET fields 0 name)
  list(GET fields 1 packages)
  list(GET fields 2 executables)
  string(STRIP "${name}" name)
  separate_arguments(packages UNIX_COMMAND "${packages}")
  separate_arguments(executables UNIX_COMMAND "${executables}")
  list(APPEND components ${index})
  set(name_${index} "${name}")
  set(packages_${index} ${packages})
  set(executables_${index} ${executables})
  foreach(executable IN LISTS executables)
    list(APPEND allowed_${executable} ${packages})
  endforeach()
endforeach()

string(REPLACE "," ";" EXECUTABLES "${EXECUTABLES}")
foreach(index IN LISTS components)
  foreach(executable IN LISTS executables_${index})
    if(NOT executable IN_LIST EXECUTABLES)
      message(FATAL_ERROR "${COMPONENTS}: ${name_${index}}: ${executable} is not one of the executables (${EXECUTABLES})")
    endif()
  endforeach()
endforeach()

# The files of other projects in a link: the archives that gave members to it, and the object files
# it loaded, with paths of their own rather than the build tree's.
function(linked_system_files map variable)
  file(STRINGS ${map} lines REGEX "^[^ \t(][^(]*\\.a\\(|^LOAD .*\\.o$")
  set(files "")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^LOAD |\\(.*$" "" file "${line}")
    if(IS_ABSOLUTE ${file})
      file(REAL_PATH ${file} file)
      cmake_path(IS_PREFIX BUILD_DIR ${file} NORMALIZE own)
      if(NOT own)
        list(APPEND files ${file})
      endif()
    endif()
  endforeach()
  list(REMOVE_DUPLICATES files)
  set(${variable} ${files} PARENT_SCOPE)
endfunction()

foreach(executable IN LISTS EXECUTABLES)
  string(REPLACE "," ";" link "${LINK_${executable}}")
  list(POP_FRONT link map)
  set(linked_packages ${link})
  linked_system_files(${map} files)
  # One "package[:architecture]: path" line for each file that a package holds.
  execute_process(COMMAND dpkg-query --search ${files} OUTPUT_VARIABLE owners ERROR_QUIET)
  string(REPLACE "\n" ";" owners "${owners}")
  foreach(owner IN LISTS owners)
    if(owner MATCHES "^([^:, ]+)(:[^:]+)?: (/.*)$")
      set("package_of_${CMAKE_MATCH_3}" ${CMAKE_MATCH_1})
    endif()
  endforeach()
  foreach(file IN LISTS files)
    if(NOT DEFINED "package_of_${file}")
      message(FATAL_ERROR "${executable} links ${file}, which belongs to no Debian package")
    endif()
    list(APPEND linked_packages ${package_of_${file}})
    set(file_of_${package_of_${file}} ${file})
  endforeach()
  list(REMOVE_DUPLICATES linked_packages)
  foreach(package IN LISTS linked_packages)
    if(NOT package IN_LIST allowed_${executable})
      if(DEFINED "file_of_${package}")
        set(what "${file_of_${package}}")
      else()
        set(what "headers")
      endif()
      message(FATAL_ERROR "${executable} links ${what} of the Debian package ${package}, which no line of "
                          "${COMPONENTS} gives it: add the component, with ${executable}, for its notice")
    endif()
  endforeach()
endforeach()

string(CONCAT text
       "Third-party notices for ${PRODUCT}\n\n"
       "The executables contain the work of the projects below, each built from the Debian packages\n"
       "named with their versions. Each one's notice is its package's copyright file as Debian ships it:\n"
       "the copyright holders and the licence terms. A licence named there by a path under\n"
       "/usr/share/common-licenses/ is one of the GNU licences, also published at\n"
       "https://www.gnu.org/licenses/.\n\n")
foreach(index IN LISTS components)
  list(JOIN executables_${index} ", " executables_text_${index})
  string(APPEND text "  ${name_${index}}: ${executables_text_${index}}\n")
endforeach()
string(REPEAT "=" 100 rule)
foreach(index IN LISTS components)
  string(APPEND text "\n${rule}\n${name_${index}}\nContained in: ${executables_text_${index}}\n")
  set(notices "")
  set(seen_notices "")
  foreach(package IN LISTS packages_${index})
    execute_process(COMMAND dpkg-query --show --showformat=\${Version} ${package} OUTPUT_VARIABLE version
                    RESULT_VARIABLE failed ERROR_QUIET)
    set(copyright /usr/share/doc/${package}/copyright)
    if(failed OR NOT EXISTS ${copyright})
      message(FATAL_ERROR "${name_${index}}: the Debian package ${package} is not installed, or has no ${copyright}")
    endif()
    string(APPEND text "Debian package: ${package} ${version}\n")
    # Packages built from one source often ship the same copyright file: it is given once.
    file(READ ${copyright} notice)
    string(SHA256 notice_hash "${notice}")
    if(NOT notice_hash IN_LIST seen_notices)
      list(APPEND seen_notices ${notice_hash})
      string(APPEND notices "\n--- ${copyright} ---\n\n${notice}")
    endif()
  endforeach()
  string(APPEND text "${rule}\n${notices}")
endforeach()
string(REPLACE "\r\n" "\n" text "${text}")
string(REPLACE "\n" "\r\n" text "${text}")
file(WRITE ${OUTPUT} "${text}")
