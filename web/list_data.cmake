# Writes the names of the data files, one a line, for the page to fetch.
file(GLOB names RELATIVE ${DATA_DIR} ${DATA_DIR}/*)
list(SORT names)
list(JOIN names "\n" text)
file(WRITE ${OUT} "${text}\n")
