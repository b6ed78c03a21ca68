# Writes the desktop entry at install time, when the program's path is
# known. Run from the install rules with ZOBA_PROGRAM, ZOBA_TEMPLATE and
# ZOBA_ENTRY set.
#
# A path with a space, a quote, "$" or another reserved character is quoted
# in Exec, or the launcher would split or expand it. Inside the quotes '"',
# '`', '$' and '\' take a backslash; '%' is doubled in any case; the whole
# is then escaped as a string value, which doubles every backslash again.
# A plain path stays unquoted: xdg-open's own launcher (outside GNOME and
# KDE) takes the Exec line's first word as it stands, quotes and all.
set(quoted "${ZOBA_PROGRAM}")
string(REPLACE "%" "%%" quoted "${quoted}")
if(quoted MATCHES "[ \t\n\"'\\><~|&;$*?#()`]")
  string(REPLACE "\\" "\\\\" quoted "${quoted}")
  string(REPLACE "\"" "\\\"" quoted "${quoted}")
  string(REPLACE "`" "\\`" quoted "${quoted}")
  string(REPLACE "\$" "\\\$" quoted "${quoted}")
  string(REPLACE "\\" "\\\\" quoted "${quoted}")
  set(quoted "\"${quoted}\"")
endif()
set(ZOBA_EXEC "${quoted}")
configure_file("${ZOBA_TEMPLATE}" "${ZOBA_ENTRY}" @ONLY)
