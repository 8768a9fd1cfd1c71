# Checks Scalarka.dll as the host and the user's system will meet it.
# -DDLL=path -DOBJDUMP=tool -DFORMAT=pei-i386|pei-x86-64
execute_process(COMMAND ${OBJDUMP} -p ${DLL} OUTPUT_VARIABLE dump RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "cannot read ${DLL}")
endif()

if(NOT dump MATCHES "file format ${FORMAT}")
  message(FATAL_ERROR "expected file format ${FORMAT}")
endif()

# Exports: ordinals 30001, 30008, 30009, 30010, no names.
string(REGEX MATCHALL "\\[ *[0-9]+\\] \\+base\\[ *[0-9]+\\]" exports "${dump}")
set(ordinals "")
foreach(line IN LISTS exports)
  string(REGEX REPLACE ".*base\\[ *([0-9]+)\\].*" "\\1" ordinal "${line}")
  list(APPEND ordinals ${ordinal})
endforeach()
if(NOT ordinals STREQUAL "30001;30008;30009;30010")
  message(FATAL_ERROR "exported ordinals are '${ordinals}', expected 30001;30008;30009;30010")
endif()
if(NOT dump MATCHES "\\[Name Pointer/Ordinal\\] Table[ \t]+00000000")
  message(FATAL_ERROR "the library exports names; the host finds entry points by ordinal only")
endif()
# The entries of the name table are the indented lines right after its
# heading; what follows (the base relocations) has bracketed numbers too.
string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table\n(\t[^\n]*\n)*" names "${dump}")
if(names MATCHES "\\[ *[0-9]+\\] [A-Za-z_]")
  message(FATAL_ERROR "the library exports names: ${names}")
endif()

# Imports: system libraries only.
string(REGEX MATCHALL "DLL Name: [^\n]+" imported "${dump}")
foreach(entry IN LISTS imported)
  string(REPLACE "DLL Name: " "" library "${entry}")
  string(TOLOWER "${library}" library)
  if(NOT library MATCHES "^(kernel32|user32|msvcrt)\\.dll$")
    message(FATAL_ERROR "imports from ${library}, which is not a system library")
  endif()
endforeach()

# The version resource names the product: "ProductName" followed, after its
# padding, by "Scalarka", both UTF-16LE in the file.
file(READ ${DLL} bytes HEX)
string(FIND "${bytes}" "500072006f0064007500630074004e0061006d006500" at)
if(at EQUAL -1)
  message(FATAL_ERROR "no version resource with a ProductName")
endif()
string(SUBSTRING "${bytes}" ${at} 96 product_entry)
if(NOT product_entry MATCHES "5300630061006c00610072006b006100")
  message(FATAL_ERROR "the version resource does not name the product Scalarka")
endif()
message(STATUS "${DLL}: ${FORMAT}, ordinals ${ordinals}, imports ${imported}")
