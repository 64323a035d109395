GRP 1xx __00, , , ,System
PGM 10x00 __00, , , ,System Time
STP 10B01 _N02, , , ,Year
STP 10B02, , , ,Month
STP 10B03, , , ,Day
STP 10B04, , , ,Hour
STP 10B05, , , ,Minute
PGM 11x01 __00, , , ,Admin Password
STP 11B01 _n04, , , ,Password
PGM 13x00 __00, , , ,Day/Night Mode
STP 13B01 _R00, , , ,Day
STP 13B02 _R00, , , ,Night
STP 13B03 _R00, , , ,Auto
PGM 45o00 __00, , , ,Software Version
GRP 2xx __00, , , ,Station
PGM 20x00 FR03, , , ,Station Name
STP 20B01 _a12, , , ,Name
PGM 21x00 FR03, , , ,Station COS
STP 21N01 _N01, , , ,Day COS
STP 21N02 _N01, , , ,Night COS
GRP 3xx __00, , , ,Trunk
PGM 30t00 FR02, , , ,Trunk Type
STP 30B01 _R00, , , ,Loop Start
STP 30B02 _R00, , , ,Ground Start
STP 30B03 CR01, , , ,DID
STP 30B04 _N02, , , ,DID Digits
PGM 31x00 FR02, , , ,Trunk Group
STP 31B01 _N02, , , ,Group
GRP 4xx __00, , , ,Numbering
PGM 40x00 FV03, , , ,System Speed Dial
STP 40B01 _S16, , , ,Number
STP 40B02 _A12, , , ,Name
