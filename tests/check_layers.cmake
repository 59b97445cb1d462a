# Fails when a source file includes across the layering: Qt in the core, the restore engine
# reaching into the backup engine (they are siblings), the app reaching into the CLI, or a
# system header anywhere above the platform layer, which alone talks to the system.
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
if(failures)
  message(FATAL_ERROR "Layering broken:\n${failures}")
endif()
message(STATUS "Layering holds.")
