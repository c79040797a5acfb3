# The build date every program prints (--version, the About box) and the package and
# the AppStream release carry: the date of the commit built, so that two builds of one
# commit are identical; SOURCE_DATE_EPOCH where the sources are not a git checkout (a
# release tarball); else a fixed date. A new commit makes CMake run again.
#   SORVANE_BUILD_DATE  "Mmm dd yyyy", the form of __DATE__ ("Jan  1 2026")
#   SORVANE_BUILD_DAY   "yyyy-mm-dd"
set(SORVANE_BUILD_DATE "Jan  1 2026")
set(SORVANE_BUILD_DAY "2026-01-01")
set(date_found FALSE)
find_package(Git QUIET)
if(GIT_FOUND)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C ${GIT_EXECUTABLE} log -1 --format=%cd
                          "--date=format:%b %e %Y|%Y-%m-%d"
                  WORKING_DIRECTORY ${PROJECT_SOURCE_DIR} RESULT_VARIABLE git_result OUTPUT_VARIABLE git_date
                  ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(git_result EQUAL 0 AND git_date MATCHES "^([A-Z][a-z][a-z] [ 1-3][0-9] [0-9][0-9][0-9][0-9])\\|([0-9-]+)$")
    set(SORVANE_BUILD_DATE "${CMAKE_MATCH_1}")
    set(SORVANE_BUILD_DAY "${CMAKE_MATCH_2}")
    set(date_found TRUE)
  endif()
  execute_process(COMMAND ${GIT_EXECUTABLE} rev-parse --path-format=absolute --git-path logs/HEAD
                  WORKING_DIRECTORY ${PROJECT_SOURCE_DIR} RESULT_VARIABLE git_result OUTPUT_VARIABLE git_head_log
                  ERROR_QUIET OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(git_result EQUAL 0 AND EXISTS "${git_head_log}")
    set_property(DIRECTORY ${PROJECT_SOURCE_DIR} APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${git_head_log}")
  endif()
endif()
if(NOT date_found AND "$ENV{SOURCE_DATE_EPOCH}" MATCHES "^[0-9]+$")
  # string(TIMESTAMP) reads SOURCE_DATE_EPOCH itself.
  string(TIMESTAMP SORVANE_BUILD_DAY "%Y-%m-%d" UTC)
  string(TIMESTAMP month "%m" UTC)
  string(TIMESTAMP day "%d" UTC)
  string(TIMESTAMP year "%Y" UTC)
  math(EXPR month_index "${month} - 1")
  set(month_names Jan Feb Mar Apr May Jun Jul Aug Sep Oct Nov Dec)
  list(GET month_names ${month_index} name)
  string(REGEX REPLACE "^0" " " day "${day}")
  set(SORVANE_BUILD_DATE "${name} ${day} ${year}")
endif()
