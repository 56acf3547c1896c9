# SPDX-License-Identifier: MIT
# The page stays small enough to load at once: PAGE must not pass LIMIT bytes.
file(SIZE ${PAGE} size)
message("${PAGE}: ${size} bytes (limit ${LIMIT})")
if(size GREATER LIMIT)
  message(FATAL_ERROR "the page has grown past ${LIMIT} bytes")
endif()
