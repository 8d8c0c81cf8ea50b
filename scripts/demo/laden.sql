-- A small German demo schema: a shop with customers, articles and orders.
CREATE DATABASE `laden` CHARACTER SET utf8mb4 COLLATE utf8mb4_general_ci;
USE `laden`;

CREATE TABLE `kunden` (
  `kundennr` INT UNSIGNED NOT NULL AUTO_INCREMENT PRIMARY KEY,
  `name` VARCHAR(60) NOT NULL,
  `straße` VARCHAR(80),
  `plz` CHAR(5),
  `ort` VARCHAR(40),
  `geändert_am` DATETIME,
  UNIQUE KEY (`name`, `plz`),
  KEY (`ort`)
) ENGINE=InnoDB;

CREATE TABLE `artikel` (
  `artikelnr` INT UNSIGNED NOT NULL AUTO_INCREMENT PRIMARY KEY,
  `bezeichnung` VARCHAR(80) NOT NULL,
  `größe` VARCHAR(10),
  `preis` DECIMAL(10,2) NOT NULL DEFAULT 0.00,
  `gewicht_kg` FLOAT,
  `lagerbestand` SMALLINT UNSIGNED NOT NULL DEFAULT 0,
  UNIQUE KEY (`bezeichnung`, `größe`)
) ENGINE=InnoDB;

CREATE TABLE `bestellungen` (
  `bestellnr` INT UNSIGNED NOT NULL AUTO_INCREMENT PRIMARY KEY,
  `kundennr` INT UNSIGNED NOT NULL,
  `bestellt_am` DATE NOT NULL,
  `bemerkung` TEXT,
  KEY (`kundennr`),
  FOREIGN KEY (`kundennr`) REFERENCES `kunden` (`kundennr`)
) ENGINE=InnoDB;

CREATE TABLE `bestellpositionen` (
  `bestellnr` INT UNSIGNED NOT NULL,
  `position` TINYINT UNSIGNED NOT NULL,
  `artikelnr` INT UNSIGNED NOT NULL,
  `menge` SMALLINT UNSIGNED NOT NULL DEFAULT 1,
  PRIMARY KEY (`bestellnr`, `position`),
  KEY (`artikelnr`),
  FOREIGN KEY (`bestellnr`) REFERENCES `bestellungen` (`bestellnr`),
  FOREIGN KEY (`artikelnr`) REFERENCES `artikel` (`artikelnr`)
) ENGINE=InnoDB;

INSERT INTO `kunden` (`name`, `straße`, `plz`, `ort`, `geändert_am`) VALUES
  ('Müller GmbH', 'Hauptstraße 1', '10115', 'Berlin', NOW()),
  ('Bäckerei Schön', 'Am Markt 7', '80331', 'München', NOW()),
  ('Jürgen Weiß', 'Lindenallee 23', '50667', 'Köln', NOW());

INSERT INTO `artikel` (`bezeichnung`, `größe`, `preis`, `gewicht_kg`, `lagerbestand`) VALUES
  ('Brötchenkorb', 'M', 12.90, 0.4, 25),
  ('Kaffeebecher', NULL, 4.50, 0.3, 140),
  ('Schürze', 'L', 19.95, 0.2, 12);

INSERT INTO `bestellungen` (`kundennr`, `bestellt_am`, `bemerkung`) VALUES
  (1, '2026-11-02', 'Lieferung bitte vormittags'),
  (2, '2026-11-15', NULL);

INSERT INTO `bestellpositionen` VALUES (1, 1, 2, 10), (1, 2, 3, 2), (2, 1, 1, 5);
