# Zorvane dump 
#--------------------------------------------------

#
# Table structure for 'Cities'
#

CREATE TABLE Cities (
	Name String(30,'ASCII') NOT NULL UNIQUE INDEXED
);

#
# Dumping data for table 'Cities'
#

INSERT INTO Cities (Name) VALUES ('Zurich');
INSERT INTO Cities (Name) VALUES ('O\'Neil Town');
INSERT INTO Cities (Name) VALUES ('Café <&> "x"');

#
# Table structure for 'People'
#

CREATE TABLE People (
	Flag Boolean INDEXED,
	Small Byte NOT NULL,
	Short Short NOT NULL INDEXED,
	UShort UShort NOT NULL,
	Medium Medium NOT NULL,
	UMedium UMedium NOT NULL,
	Long Long UNIQUE INDEXED,
	ULong ULong NOT NULL,
	LLong LLong NOT NULL,
	ULLong ULLong NOT NULL,
	Float Float NOT NULL,
	Double Double,
	Date Date,
	Time Time NOT NULL,
	Stamp DateTime NOT NULL,
	Name String(40,'ASCII') INDEXED WORDS,
	Note VarChar(200,'ASCII'),
	Story Text(1024,'ASCII') NOT NULL COMPRESSED,
	City ObjectPtr REFERENCES Cities ON DELETE CASCADE NOT NULL INDEXED,
	Twice Long METHOD(Long * 2),
	Fixed FixedBinary(8),
	Bytes VarBinary(40),
	Blob BLOB(1024) NOT NULL,
	Photo Picture(1024) NOT NULL
);

#
# Dumping data for table 'People'
#

INSERT INTO People (Flag, Small, Short, UShort, Medium, UMedium, Long, ULong, LLong, ULLong, Float, Double, Date, Time, Stamp, Name, Note, Story, City, Twice, Fixed, Bytes, Blob, Photo) VALUES (1, 1, -2, 3, -4, 5, 6, 7, -8000000000, 9000000000, 1.5, 2.25, 12/31/2001, '13:14:15', '01/02/2003 04:05:06', 'O\'Neil', 'back\\slash\\', 'line one
line two', 1, 12, 41 42
, 00 01 FF
, 78 78 78 78 78 78 78 78 78 78 78 78 78 78 78 78
78
, '');
INSERT INTO People (Flag, Small, Short, UShort, Medium, UMedium, Long, ULong, LLong, ULLong, Float, Double, Date, Time, Stamp, Name, Note, Story, City, Twice, Fixed, Bytes, Blob, Photo) VALUES (NULL, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, NULL, NULL, '00:00:00', '01/01/1970 00:00:00', NULL, NULL, NULL, 0, 0, NULL, NULL, NULL, NULL);
INSERT INTO People (Flag, Small, Short, UShort, Medium, UMedium, Long, ULong, LLong, ULLong, Float, Double, Date, Time, Stamp, Name, Note, Story, City, Twice, Fixed, Bytes, Blob, Photo) VALUES (0, 255, 32767, 65535, 8388607, 16777215, -2147483648, 4294967295, 9223372036854775807, 18446744073709551615, -0.125, 1E+300, 02/29/2000, '23:59:59', '12/31/1999 23:59:59', 'tab	here <b>&amp;</b> café', 'ctlx', 'été \'quoted\' \\', 4, 0, '', 3C 26 3E
, '', NULL);

