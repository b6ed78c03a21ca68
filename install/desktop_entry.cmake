# Writes the desktop entry at install time, when the program's path is
# known. Run from the install rules with ZOBA_PROGRAM, ZOBA_TEMPLATE and
# ZOBA_ENTRY set.
#
# The path is always quoted in Exec: a prefix with a space, a quote or "$"
# would otherwise be split or expanded by the launcher. Inside the quotes
# '"', '`', '$' and '\' take a backslash and '%' is doubled; the whole is
# then escaped as a string value, which doubles every backslash again.
set(quoted "${ZOBA_PROGRAM}")
string(REPLACE "\\" "\\\\" quoted "${quoted}")
string(REPLACE "\"" "\\\"" quoted "${quoted}")
string(REPLACE "`" "\\`" quoted "${quoted}")
string(REPLACE "\$" "\\\$" quoted "${quoted}")
string(REPLACE "%" "%%" quoted "${quoted}")
string(REPLACE "\\" "\\\\" quoted "${quoted}")
set(ZOBA_EXEC "\"${quoted}\"")
configure_file("${ZOBA_TEMPLATE}" "${ZOBA_ENTRY}" @ONLY)
