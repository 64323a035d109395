GRP 1xx __00, , , ,System
PGM 10x00 __00, , , ,System Time
STP 10B01 _N02, , , ,Year
STP 10B02, , , ,Month
STP 10B03, , , ,Day
STP 10B04, , , ,Hour
STP 10B05, , , ,Minute
PGM 11x01 __00, , , ,Admin Password
STP 11B01 _n04, , , ,Password
PGM 12x00 __00, , , ,Attendant
STP 12B01 _N03, , , ,Attendant 1
STP 12B02 _N03, , , ,Attendant 2
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
PGM 22x00 FV03, , ,4.0Aa,Station Features
STP 22B01 _Y00, , ,4.0Aa,Do Not Disturb
STP 22B02 _Y00, , ,4.0Aa,Call Forward
STP 22B03 _Y00, , ,4.0Aa,Camp On
PGM 22x00 FV03, ,4.0Aa, ,Station Features
STP 22B01 _Y00, ,4.0Aa, ,Do Not Disturb
STP 22B02 _Y00, ,4.0Aa, ,Call Forward
STP 22B03 _Y00, ,4.0Aa, ,Camp On
STP 22B04 _Y00, ,4.0Aa, ,Paging
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
PGM 41d00 __00, ,3.5Aa, ,LCR Table
STP 41B01 _F08, ,3.5Aa, ,Digits
STP 41B02 _N02, ,3.5Aa, ,Route
STP 41F05 _N01, ,3.5Aa, ,Time Band
STP 41B06 _N01, ,3.5Aa, ,Toll Class
PGM 46x00 __00, ,5.0Aa, ,ISDN Numbering
STP 46B01 _S12, ,5.0Aa, ,MSN
STP 46B02 _N01, ,5.0Aa, ,DDI Digits
GRP 5xx __00, , , ,National
PGM 50x00 __00,KOR, , ,Caller ID Format
STP 50B01 _R00,KOR, , ,DTMF
STP 50B02 _R00,KOR, , ,FSK
PGM 51x00 __00,USA, , ,Emergency Number
STP 51B01 _S08,USA, , ,Number
