MNU 1xx01 __00, , , ,System
MNU 2xx01 __00, , , ,Date and Time
STP FxB01 _N02, , , ,Year
STP FxB02, , , ,Month
STP FxB03, , , ,Day
STP FxB04, , , ,Hour
STP FxB05, , , ,Minute
MNU 2xx02 __00, , , ,Admin Password
STP FxB01 _n04, , , ,Password
MNU 2xx03 __00, , , ,Day/Night Mode
STP FxB01 _R00, , , ,Day
STP FxB02 _R00, , , ,Night
STP FxB03 _R00, , , ,Auto
MNU 1xx02 __00, , , ,Station
MNU 2xx01 FR03, , , ,Station Name
STP FxB01 _a12, , , ,Name
MNU 2xx02 FR03, , , ,Station COS
STP FxN01 _N01, , , ,Day COS
STP FxN02 _N01, , , ,Night COS
MNU 2xx03 FV03, , , ,Station Features
STP FxB01 _Y00, , , ,Do Not Disturb
STP FxB02 _Y00, , , ,Call Forward
STP FxB03 _Y00, , , ,Camp On
STP FxB04 _Y00, , , ,Paging
MNU 2xx04 __00, , , ,Buttons
MNU 3xx01 FV03, , , ,Flex Buttons
STP FxB01 _N02, , , ,Button
STP Fxf02 _F08, , , ,Function
MNU 3xx02 __00, , , ,DSS Console
STP 0xB01 _N02, , , ,Console
STP 0xB02 _N03, , , ,Station
MNU 1xx03 __00, , , ,Trunk
MNU 2xx01 FR02, , , ,Trunk Type
STP FxB01 _R00, , , ,Loop Start
STP FxB02 _R00, , , ,Ground Start
STP FxB03 _R00, , , ,DID
MNU 2xx02 FR02, , , ,Trunk Group
STP FxB01 _N02, , , ,Group
MNU 1xx04 __00, ,4.5Aa, ,ISDN
MNU 2xx01 FV02, ,4.5Aa, ,MSN Table
STP FxB01 _S12, ,4.5Aa, ,MSN
STP FxB02 _N03, ,4.5Aa, ,Station
MNU 1xx05 __00, , , ,Wireless
MNU 2xx01 FV03, , , ,Handset Register
STP FxB01 _S10, , , ,IPEI
STP FxB02 _n04, , , ,Access Code
MNU 2xx02 __00, , , ,Base Stations
STP FxB01 _N02, , , ,Base
STP FxB02 _N02, , , ,Channel
