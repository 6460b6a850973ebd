# cmake -DSRC=file -DDST=folder -P CopyIfExists.cmake: copies SRC into DST when SRC exists.
if(EXISTS "${SRC}")
  file(COPY "${SRC}" DESTINATION "${DST}")
endif()
