%
O1234 (Flange; a_b)
G00 X1	ä
(MÃ¤SS)
M30
%
