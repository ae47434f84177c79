# Lists the symbols libtyq.so exports from the library's own namespace, one
# "<nm type> <demangled name>" a line, sorted. With OUTPUT, writes the list
# there; with EXPECTED, compares it against that file and fails on any
# difference, naming what was added or removed.
if(NOT LIBRARY)
  message(FATAL_ERROR "usage: cmake -DLIBRARY=libtyq.so [-DOUTPUT=f | -DEXPECTED=f] "
                      "-P ${CMAKE_CURRENT_LIST_FILE}")
endif()
execute_process(COMMAND nm -D --defined-only ${LIBRARY} COMMAND c++filt
                RESULT_VARIABLE rc OUTPUT_VARIABLE listing)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "nm or c++filt failed on ${LIBRARY}")
endif()
string(REPLACE ";" "\\;" listing "${listing}")
string(REPLACE "\n" ";" lines "${listing}")
set(symbols)
foreach(line IN LISTS lines)
  # Template code of the standard library is exported or not as the
  # optimiser inlines it; only the library's own names are its interface.
  if(line MATCHES "^[0-9a-fA-F]+ ([A-Za-z]) (.*)$")
    set(type "${CMAKE_MATCH_1}")
    set(name "${CMAKE_MATCH_2}")
    if(name MATCHES "Qra::" AND NOT name MATCHES "^std::")
      list(APPEND symbols "${type} ${name}")
    endif()
  endif()
endforeach()
list(REMOVE_DUPLICATES symbols)
list(SORT symbols)
string(REPLACE ";" "\n" text "${symbols}")
string(REPLACE "\\\n" ";" text "${text}")
set(text "${text}\n")

if(OUTPUT)
  file(WRITE ${OUTPUT} "${text}")
elseif(EXPECTED)
  file(READ ${EXPECTED} expected)
  if(NOT text STREQUAL expected)
    string(REPLACE ";" "\\;" expected "${expected}")
    string(REPLACE "\n" ";" wanted "${expected}")
    set(now ${symbols})
    set(added ${now})
    list(REMOVE_ITEM added ${wanted})
    set(removed ${wanted})
    list(REMOVE_ITEM removed ${now} "")
    list(JOIN added "\n  + " added)
    list(JOIN removed "\n  - " removed)
    message(FATAL_ERROR
            "The symbols libtyq.so exports changed.\n  + ${added}\n  - ${removed}\n"
            "If the change is intended, regenerate the list with\n"
            "  scripts/update_exported_symbols.sh <build dir>\n"
            "and commit tests/api/exported_symbols.txt.")
  endif()
endif()
