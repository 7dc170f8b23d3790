module pmconv

go 1.19
