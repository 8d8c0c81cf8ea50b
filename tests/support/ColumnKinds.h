// Tables with every kind of column that MariaDB can hold, for the tests of
// "Feld ändern..." and of the structure window's column editor.
#pragma once

#include <QList>
#include <QString>

#include <utility>

// Objects with every kind of column: how each is made, and its columns,
// separated by ";"; after "|" a word of the reason for a column that "Feld
// ändern..." must refuse.
inline const QList<std::pair<QString, QString>> ColumnKinds{
    {"CREATE TABLE arten (%1, KEY (ix), KEY (tx(5))) CHARSET utf8mb4",
     R"(id INT UNSIGNED NOT NULL AUTO_INCREMENT PRIMARY KEY; bi BIGINT; b1 BIT; bl BLOB;
        bz BIGINT(20) UNSIGNED ZEROFILL NOT NULL DEFAULT 7; b100 BLOB(100); ch CHAR;
        bo BOOL NOT NULL DEFAULT 1; c5 CHAR(5) BINARY DEFAULT 'a''b'; da DATE DEFAULT '2024-02-29';
        dt DATETIME; de DECIMAL; d102 DECIMAL(10,2) UNSIGNED ZEROFILL NOT NULL DEFAULT 1.5;
        dp DOUBLE PRECISION; d83 DOUBLE(8,3) DEFAULT -2.5; fl FLOAT; f72 FLOAT(7,2) ZEROFILL;
        ix INT(5) NOT NULL DEFAULT 0; ig INTEGER; lb LONGBLOB; lt LONGTEXT; mb MEDIUMBLOB;
        mi MEDIUMINT UNSIGNED; mt MEDIUMTEXT; nu NUMERIC(12,4); re REAL; si SMALLINT DEFAULT -3;
        tx TEXT DEFAULT 'x\\y'; ti TIME; ts TIMESTAMP NULL; tb TINYBLOB; tt TINYINT(1);
        t3 TIMESTAMP(3) NOT NULL DEFAULT '2020-01-02 03:04:05.678'; tn TINYTEXT; ye YEAR;
        vmax VARCHAR(10000); vq VARCHAR(40) NOT NULL DEFAULT 'it''s \\ a\nb';
        vb VARCHAR(20) BINARY UNIQUE; chk INT CHECK (chk > 0)|CHECK; en ENUM('a','b')|Typliste;
        f70 FLOAT(7,0)|Nachkommastellen; d100 DOUBLE(10,0)|Nachkommastellen; se SET('a')|Typliste;
        u6 INET6|Typliste; dt6 DATETIME(6)|genau; b8 BIT(8)|genau; du DECIMAL(5,1) UNSIGNED|genau;
        ko INT COMMENT 'x'|Kommentar; inv INT INVISIBLE|INVISIBLE; kz BLOB COMPRESSED|komprimiert;
        gv INT AS (ix + 1) VIRTUAL|GENERATED; gs INT AS (ix + 2) PERSISTENT|GENERATED;
        ou TIMESTAMP NOT NULL DEFAULT CURRENT_TIMESTAMP ON UPDATE CURRENT_TIMESTAMP|on update;
        la VARCHAR(5) CHARACTER SET latin1|latin1; le VARCHAR(5) NOT NULL DEFAULT ''|Vorgabewert;
        op INT `farbe`='rot'|farbe)"},
    {"CREATE TABLE lang (%1)", "lang VARCHAR(16000)|höchstens"},
    {"CREATE TABLE aria (%1) ENGINE=Aria", "ax INT; ay VARCHAR(5) NOT NULL DEFAULT 'a'"},
    {"CREATE TABLE arten_bin (%1) COLLATE utf8mb4_bin", "js JSON|json_valid; vt VARCHAR(5)"},
    {"CREATE TABLE versioniert (%1) WITH SYSTEM VERSIONING", "a INT|systemversioniert"},
    {"CREATE SEQUENCE sequenz", "increment|Sequenz"},
    {"CREATE VIEW sicht AS SELECT 1 AS %1", "eins|Sicht"}};
