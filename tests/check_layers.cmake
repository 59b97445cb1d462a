# Fails when a source file includes across the layering: Qt in the core, the restore engine
# reaching into the backup engine (they are siblings), the app reaching into the CLI, or a
# system header anywhere above the platform layer, which alone talks to the system; or when
# code above src/platform turns a path into text or text into a path itself, rather than
# through platform/path_text.h (on Windows a path's native string is UTF-16, and a narrow one
# goes through the ANSI code page, which mangles names that are not ASCII); or when a
# thread_local outside the POSIX backends is not marked trivially destructible.
# Run as: cmake -DSOURCE_DIR=<src> -P check_layers.cmake
set(rules
  "platform!<Q[A-Za-z]!a Qt header"
  "library!<Q[A-Za-z]!a Qt header"
  "engine!<Q[A-Za-z]!a Qt header"
  "backup!<Q[A-Za-z]!a Qt header"
  "restore!<Q[A-Za-z]!a Qt header"
  "cli!<Q[A-Za-z]!a Qt header"
  "platform!\"(library|engine|backup|restore|cli|app)/!a higher layer"
  "library!\"(engine|backup|restore|cli|app)/!a higher layer"
  "engine!\"(backup|restore|cli|app)/!a higher layer"
  "backup!\"(restore|cli|app)/!the restore engine or a front end"
  "restore!\"(backup|cli|app)/!the backup engine or a front end"
  "cli!\"app/!the desktop application"
  "app!\"cli/!the command-line front end")
set(system_headers
  "<((unistd|fcntl|dirent|signal|poll|pwd|termios|mntent|[Ww]indows|io|direct|dlfcn|pthread|spawn)[.]h|csignal|libmount|sys/|linux/)")
foreach(layer IN ITEMS library engine backup restore cli app)
  list(APPEND rules "${layer}!${system_headers}!a system header")
endforeach()
set(failures "")
foreach(rule IN LISTS rules)
  string(REPLACE "!" ";" parts "${rule}")
  list(GET parts 0 layer)
  list(GET parts 1 pattern)
  list(GET parts 2 what)
  if(NOT IS_DIRECTORY "${SOURCE_DIR}/${layer}")
    continue()
  endif()
  file(GLOB_RECURSE files "${SOURCE_DIR}/${layer}/*.h" "${SOURCE_DIR}/${layer}/*.cpp")
  foreach(file IN LISTS files)
    file(STRINGS "${file}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*[<\"]")
    foreach(line IN LISTS lines)
      if(line MATCHES "#[ \t]*include[ \t]*${pattern}")
        string(APPEND failures "${file}: includes ${what}: ${line}\n")
      endif()
    endforeach()
  endforeach()
endforeach()

# Paths and text above src/platform: no native()/string() (nor their generic_, u8 and w forms),
# and no std::filesystem::path built from anything but nothing or a string literal.
set(path_to_text "(\\.|->)(native|(generic_)?(u8|w)?string)[ \t]*\\([ \t]*\\)")
set(text_to_path "(std::filesystem::|fs::)path[ \t]*\\(")
file(GLOB_RECURSE files RELATIVE "${SOURCE_DIR}" "${SOURCE_DIR}/*.h" "${SOURCE_DIR}/*.cpp")
foreach(file IN LISTS files)
  if(file MATCHES "^platform/")
    continue()
  endif()
  file(STRINGS "${SOURCE_DIR}/${file}" lines REGEX "string|native|path[ \t]*\\(")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "//.*$" "" code "${line}")
    # An empty path or one from a literal (ASCII by convention) converts nothing.
    string(REGEX REPLACE "${text_to_path}(\\)|u8\"|\")" "" code "${code}")
    if(code MATCHES "${path_to_text}")
      string(APPEND failures "${SOURCE_DIR}/${file}: turns a path into text itself "
                             "(use platform::toUtf8): ${line}\n")
    elseif(code MATCHES "${text_to_path}")
      string(APPEND failures "${SOURCE_DIR}/${file}: turns text into a path itself "
                             "(use platform::toPath): ${line}\n")
    endif()
  endforeach()
endforeach()

# A thread_local object with a destructor crashes at thread exit in the Windows build (mingw-w64
# frees its storage before the destructor runs): outside the POSIX backends every thread_local
# line must say it is trivially destructible, and the code holds that with a static_assert.
foreach(file IN LISTS files)
  if(file MATCHES "^platform/(posix|linux)/")
    continue()
  endif()
  file(STRINGS "${SOURCE_DIR}/${file}" lines REGEX "thread_local")
  foreach(line IN LISTS lines)
    if(NOT line MATCHES "^[ \t]*//" AND NOT line MATCHES "// trivially destructible")
      string(APPEND failures "${SOURCE_DIR}/${file}: a thread_local that may have a destructor "
                             "(it would crash at thread exit on Windows): ${line}\n")
    endif()
  endforeach()
endforeach()

if(failures)
  message(FATAL_ERROR "Layering broken:\n${failures}")
endif()
message(STATUS "Layering holds.")
