# Puts the man page together: the version and the OPTIONS entries that
# kestrel-cli-docs wrote from the command-line table.
#   cmake -DIN=kestrel-eval.1.in -DOPTIONS=options.roff -DVERSION=2.0.0 -DOUT=kestrel-eval.1 -P man_page.cmake
file(READ ${IN} page)
file(READ ${OPTIONS} options)
string(REPLACE "@PROJECT_VERSION@" "${VERSION}" page "${page}")
string(REPLACE "@KESTREL_OPTIONS@\n" "${options}" page "${page}")
file(WRITE ${OUT} "${page}")
