%N1
N2


M30