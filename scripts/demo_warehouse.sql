-- A small retail star schema to try Varnel on:
--
--     sqlite3 demo/warehouse.db < scripts/demo_warehouse.sql
--
-- Two fact tables (fact_sales, fact_returns) refer to four dimensions
-- (dim_date, dim_product, dim_store, dim_customer); dim_product refers to
-- dim_category (a snowflake edge). dim_customer is a slowly changing dimension:
-- several dated versions per customer, tied together by customer_code. Dates are
-- ISO text 'YYYY-MM-DD HH:MM:SS'. Running the script again resets the demo.
--
-- Rows planted as unused (no fact row, and no used row of another dimension,
-- refers to them); marking sets is_deletable = 1 on exactly these:
--   dim_product   surkey 110 P-2003 and 111 P-3003 (delisted, never sold),
--                 surkey 112 P-5001 (a seasonal article never sold)
--   dim_category  category_id 5 SEA (used only by the unused product 112)
--   dim_store     store_id 5 S05 (closed before the first sale)
--   dim_date      date_key 20231225 (Christmas Day, shops closed)
--   dim_customer  customer_key 5 (C003's middle version, not current) and
--                 customer_key 11 (C006's current version)
-- Kept although unused: dim_product surkey 113 P-1004 (is_sustainable = 1, a
-- new listing whose first delivery is due).
--
-- The archiving conditions move the 2023 fact rows out (17 sales, 9 returns).
-- Marking after archiving finds, besides the rows above, those that only 2023
-- facts use: the six 2023 dates with sales and the customer versions 1 (C001's
-- first), 4 (C003's first, so C003 keeps only its current version) and 10
-- (C006's first, so no version of C006 stays in use).

.bail on

DROP TABLE IF EXISTS dwm_tables;
DROP TABLE IF EXISTS dwm_star_relations;
DROP TABLE IF EXISTS dwm_archive;
DROP TABLE IF EXISTS dwm_multiuse;
DROP TABLE IF EXISTS fact_sales;
DROP TABLE IF EXISTS fact_returns;
DROP TABLE IF EXISTS dim_date;
DROP TABLE IF EXISTS dim_product;
DROP TABLE IF EXISTS dim_category;
DROP TABLE IF EXISTS dim_store;
DROP TABLE IF EXISTS dim_customer;

BEGIN;

-- ------------------------------------------------------------------ metadata

CREATE TABLE dwm_tables (
    table_name   varchar(128) NOT NULL,
    table_type   varchar(20),
    where_clause varchar(4000),
    is_selected  bit DEFAULT 0,
    org_pkey     varchar(255)
);

CREATE TABLE dwm_star_relations (
    selected             bit DEFAULT 1,
    primary_table        varchar(128),
    primary_columns      varchar(255),
    foreign_table        varchar(128),
    foreign_columns      varchar(255),
    slow_moving_dim      bit DEFAULT 0,
    original_primary_key varchar(255)
);

INSERT INTO dwm_tables VALUES ('dim_date',     'DIMENSION', NULL, 1, 'calendar_date');
INSERT INTO dwm_tables VALUES ('dim_product',  'DIMENSION', NULL, 1, 'product_code');
INSERT INTO dwm_tables VALUES ('dim_category', 'DIMENSION', NULL, 1, 'category_code');
INSERT INTO dwm_tables VALUES ('dim_store',    'DIMENSION', NULL, 1, 'store_code');
INSERT INTO dwm_tables VALUES ('dim_customer', 'DIMENSION', NULL, 1, 'customer_code');
INSERT INTO dwm_tables VALUES ('fact_sales',   'FACT', 'sale_date < ''2024-01-01''', 0, NULL);
INSERT INTO dwm_tables VALUES ('fact_returns', 'FACT', 'return_date < ''2024-01-01''', 0, NULL);

INSERT INTO dwm_star_relations VALUES (1, 'dim_date',     'date_key',     'fact_sales',   'date_key',     0, NULL);
INSERT INTO dwm_star_relations VALUES (1, 'dim_product',  'surkey',       'fact_sales',   'product_key',  0, NULL);
INSERT INTO dwm_star_relations VALUES (1, 'dim_store',    'store_id',     'fact_sales',   'store_id',     0, NULL);
INSERT INTO dwm_star_relations VALUES (1, 'dim_customer', 'customer_key', 'fact_sales',   'customer_key', 1, 'customer_code');
INSERT INTO dwm_star_relations VALUES (1, 'dim_date',     'date_key',     'fact_returns', 'date_key',     0, NULL);
INSERT INTO dwm_star_relations VALUES (1, 'dim_product',  'surkey',       'fact_returns', 'product_key',  0, NULL);
INSERT INTO dwm_star_relations VALUES (1, 'dim_store',    'store_id',     'fact_returns', 'store_id',     0, NULL);
INSERT INTO dwm_star_relations VALUES (1, 'dim_customer', 'customer_key', 'fact_returns', 'customer_key', 1, 'customer_code');
INSERT INTO dwm_star_relations VALUES (1, 'dim_category', 'category_id',  'dim_product',  'category_id',  0, NULL);

-- ---------------------------------------------------------------- dimensions

CREATE TABLE dim_date (
    date_key       INTEGER NOT NULL,
    calendar_date  DATETIME NOT NULL,
    year_no        INTEGER NOT NULL,
    quarter_no     INTEGER NOT NULL,
    month_no       INTEGER NOT NULL,
    month_name     VARCHAR(10) NOT NULL,
    day_name       VARCHAR(10) NOT NULL,
    is_weekend     bit NOT NULL DEFAULT 0,
    is_deletable   bit NOT NULL DEFAULT 0,
    is_sustainable bit NOT NULL DEFAULT 0,
    CONSTRAINT pk_dim_date PRIMARY KEY (date_key)
);

INSERT INTO dim_date (date_key, calendar_date, year_no, quarter_no, month_no, month_name, day_name, is_weekend) VALUES
    (20230703, '2023-07-03 00:00:00', 2023, 3, 7, 'July', 'Monday', 0),
    (20230814, '2023-08-14 00:00:00', 2023, 3, 8, 'August', 'Monday', 0),
    (20230908, '2023-09-08 00:00:00', 2023, 3, 9, 'September', 'Friday', 0),
    (20231020, '2023-10-20 00:00:00', 2023, 4, 10, 'October', 'Friday', 0),
    (20231124, '2023-11-24 00:00:00', 2023, 4, 11, 'November', 'Friday', 0),
    (20231215, '2023-12-15 00:00:00', 2023, 4, 12, 'December', 'Friday', 0),
    -- planted unused: no sale or return on Christmas Day
    (20231225, '2023-12-25 00:00:00', 2023, 4, 12, 'December', 'Monday', 0),
    (20240112, '2024-01-12 00:00:00', 2024, 1, 1, 'January', 'Friday', 0),
    (20240209, '2024-02-09 00:00:00', 2024, 1, 2, 'February', 'Friday', 0),
    (20240315, '2024-03-15 00:00:00', 2024, 1, 3, 'March', 'Friday', 0),
    (20240405, '2024-04-05 00:00:00', 2024, 2, 4, 'April', 'Friday', 0),
    (20240517, '2024-05-17 00:00:00', 2024, 2, 5, 'May', 'Friday', 0),
    (20240621, '2024-06-21 00:00:00', 2024, 2, 6, 'June', 'Friday', 0);

CREATE TABLE dim_category (
    category_id    INTEGER NOT NULL,
    category_code  VARCHAR(10) NOT NULL,
    category_name  VARCHAR(40) NOT NULL,
    is_deletable   bit NOT NULL DEFAULT 0,
    is_sustainable bit NOT NULL DEFAULT 0,
    CONSTRAINT pk_dim_category PRIMARY KEY (category_id)
);

INSERT INTO dim_category (category_id, category_code, category_name) VALUES
    (1, 'BEV', 'Beverages'),
    (2, 'SNK', 'Snacks'),
    (3, 'DAI', 'Dairy'),
    (4, 'HOU', 'Household'),
    -- planted unused: its only product (surkey 112) was never sold
    (5, 'SEA', 'Seasonal');

-- Facts refer to a product by its surrogate key; product_code is the business key.
CREATE TABLE dim_product (
    surkey         INTEGER NOT NULL,
    product_code   VARCHAR(12) NOT NULL,
    product_name   VARCHAR(60) NOT NULL,
    category_id    INTEGER NOT NULL,
    unit_price     DECIMAL(10,2) NOT NULL,
    is_deletable   bit NOT NULL DEFAULT 0,
    is_sustainable bit NOT NULL DEFAULT 0,
    CONSTRAINT pk_dim_product PRIMARY KEY (surkey)
);

CREATE INDEX ix_dim_product_category_id ON dim_product (category_id);

INSERT INTO dim_product (surkey, product_code, product_name, category_id, unit_price) VALUES
    (101, 'P-1001', 'Sparkling Water 1l', 1, 0.89),
    (102, 'P-1002', 'Orange Juice 1l', 1, 2.49),
    (103, 'P-1003', 'Cold Brew Coffee 250ml', 1, 3.99),
    (104, 'P-2001', 'Salted Crisps 150g', 2, 1.79),
    (105, 'P-2002', 'Dark Chocolate 100g', 2, 2.29),
    (106, 'P-3001', 'Whole Milk 1l', 3, 1.19),
    (107, 'P-3002', 'Greek Yoghurt 500g', 3, 2.89),
    (108, 'P-4001', 'Dish Soap 500ml', 4, 2.59),
    (109, 'P-4002', 'Paper Towels 4 rolls', 4, 4.49),
    -- planted unused: delisted, never sold
    (110, 'P-2003', 'Pretzel Sticks 200g', 2, 1.49),
    (111, 'P-3003', 'Goat Cheese 200g', 3, 3.79),
    -- planted unused: the only product of category 5
    (112, 'P-5001', 'Advent Calendar', 5, 6.99);

-- Unused but kept: a new listing whose first delivery is due.
INSERT INTO dim_product (surkey, product_code, product_name, category_id, unit_price, is_sustainable) VALUES
    (113, 'P-1004', 'Ginger Kombucha 330ml', 1, 2.79, 1);

CREATE TABLE dim_store (
    store_id       INTEGER NOT NULL,
    store_code     VARCHAR(10) NOT NULL,
    store_name     VARCHAR(60) NOT NULL,
    city           VARCHAR(40) NOT NULL,
    region         VARCHAR(20) NOT NULL,
    is_deletable   bit NOT NULL DEFAULT 0,
    is_sustainable bit NOT NULL DEFAULT 0,
    CONSTRAINT pk_dim_store PRIMARY KEY (store_id)
);

INSERT INTO dim_store (store_id, store_code, store_name, city, region) VALUES
    (1, 'S01', 'Market Street', 'Leeds', 'North'),
    (2, 'S02', 'Harbour Road', 'Bristol', 'South'),
    (3, 'S03', 'Castle Gate', 'York', 'North'),
    (4, 'S04', 'Riverside Retail Park', 'Reading', 'South'),
    -- planted unused: closed before the first sale in this warehouse
    (5, 'S05', 'Old Town Kiosk', 'Bath', 'South');

-- Slowly changing: one row per version of a customer. A version is valid from
-- start_date up to the end_date at which the next one starts; the current one
-- ends on 9999-12-31. Facts refer to the version that was valid at the sale.
CREATE TABLE dim_customer (
    customer_key   INTEGER NOT NULL,
    customer_code  VARCHAR(10) NOT NULL,
    customer_name  VARCHAR(60) NOT NULL,
    city           VARCHAR(40) NOT NULL,
    segment        VARCHAR(20) NOT NULL,
    start_date     DATETIME NOT NULL,
    end_date       DATETIME NOT NULL,
    is_current     bit NOT NULL DEFAULT 0,
    is_deletable   bit NOT NULL DEFAULT 0,
    is_sustainable bit NOT NULL DEFAULT 0,
    CONSTRAINT pk_dim_customer PRIMARY KEY (customer_key)
);

CREATE INDEX ix_dim_customer_code ON dim_customer (customer_code, start_date);

INSERT INTO dim_customer (customer_key, customer_code, customer_name, city, segment, start_date, end_date, is_current) VALUES
    (1, 'C001', 'Alice Brown', 'Leeds', 'Regular', '2022-01-01 00:00:00', '2023-09-01 00:00:00', 0),
    (2, 'C001', 'Alice Brown', 'York', 'Regular', '2023-09-01 00:00:00', '9999-12-31 00:00:00', 1),
    (3, 'C002', 'Ben Carter', 'Leeds', 'Gold', '2022-03-15 00:00:00', '9999-12-31 00:00:00', 1),
    (4, 'C003', 'Chloe Davies', 'Bristol', 'Regular', '2022-05-01 00:00:00', '2023-08-01 00:00:00', 0),
    -- planted unused: no purchase while this version was valid (not current)
    (5, 'C003', 'Chloe Davies', 'Bristol', 'Gold', '2023-08-01 00:00:00', '2024-02-01 00:00:00', 0),
    (6, 'C003', 'Chloe Davies', 'Bath', 'Gold', '2024-02-01 00:00:00', '9999-12-31 00:00:00', 1),
    (7, 'C004', 'Daniel Evans', 'Reading', 'Regular', '2022-06-01 00:00:00', '2024-03-01 00:00:00', 0),
    (8, 'C004', 'Daniel Evans', 'Reading', 'Gold', '2024-03-01 00:00:00', '9999-12-31 00:00:00', 1),
    (9, 'C005', 'Emma Foster', 'Bristol', 'Regular', '2022-09-12 00:00:00', '9999-12-31 00:00:00', 1),
    (10, 'C006', 'Farid Gill', 'York', 'Regular', '2023-01-10 00:00:00', '2023-11-01 00:00:00', 0),
    -- planted unused: no purchase since the move (the current version)
    (11, 'C006', 'Farid Gill', 'Harrogate', 'Regular', '2023-11-01 00:00:00', '9999-12-31 00:00:00', 1),
    (12, 'C007', 'Grace Hill', 'Leeds', 'Regular', '2023-04-02 00:00:00', '9999-12-31 00:00:00', 1);

-- --------------------------------------------------------------------- facts

CREATE TABLE fact_sales (
    sale_id      INTEGER NOT NULL,
    date_key     INTEGER NOT NULL,
    sale_date    DATETIME NOT NULL,
    product_key  INTEGER NOT NULL,
    store_id     INTEGER NOT NULL,
    customer_key INTEGER,            -- Null for a sale without loyalty card
    quantity     INTEGER NOT NULL,
    amount       DECIMAL(10,2) NOT NULL,
    CONSTRAINT pk_fact_sales PRIMARY KEY (sale_id)
);

CREATE INDEX ix_fact_sales_date_key ON fact_sales (date_key);
CREATE INDEX ix_fact_sales_product_key ON fact_sales (product_key);
CREATE INDEX ix_fact_sales_store_id ON fact_sales (store_id);
CREATE INDEX ix_fact_sales_customer_key ON fact_sales (customer_key);

INSERT INTO fact_sales (sale_id, date_key, sale_date, product_key, store_id, customer_key, quantity, amount) VALUES
    (1, 20230703, '2023-07-03 13:09:25', 101, 1, 4, 6, 5.34),
    (2, 20230814, '2023-08-14 08:04:52', 102, 2, 3, 5, 12.45),
    (3, 20230814, '2023-08-14 11:39:24', 101, 1, 1, 2, 1.78),
    (4, 20230814, '2023-08-14 13:44:22', 109, 3, 10, 5, 22.45),
    (5, 20230908, '2023-09-08 09:23:37', 103, 3, 2, 1, 3.99),
    (6, 20230908, '2023-09-08 15:53:37', 104, 1, 3, 2, 3.58),
    (7, 20231020, '2023-10-20 11:33:31', 107, 2, NULL, 3, 8.67),
    (8, 20231020, '2023-10-20 16:13:02', 104, 4, 7, 1, 1.79),
    (9, 20231020, '2023-10-20 19:34:58', 106, 2, 10, 1, 1.19),
    (10, 20231124, '2023-11-24 08:29:22', 107, 3, NULL, 2, 5.78),
    (11, 20231124, '2023-11-24 14:04:15', 105, 4, 9, 1, 2.29),
    (12, 20231124, '2023-11-24 14:34:23', 101, 2, 7, 5, 4.45),
    (13, 20231215, '2023-12-15 08:36:09', 101, 1, 12, 5, 4.45),
    (14, 20231215, '2023-12-15 08:52:36', 106, 4, 12, 1, 1.19),
    (15, 20231215, '2023-12-15 17:04:07', 108, 3, NULL, 5, 12.95),
    (16, 20231215, '2023-12-15 18:14:39', 109, 3, 3, 2, 8.98),
    (17, 20231215, '2023-12-15 19:10:33', 105, 4, NULL, 1, 2.29),
    (18, 20240112, '2024-01-12 11:28:10', 104, 1, 2, 1, 1.79),
    (19, 20240112, '2024-01-12 14:55:35', 105, 2, 12, 3, 6.87),
    (20, 20240112, '2024-01-12 15:26:02', 106, 2, 3, 6, 7.14),
    (21, 20240112, '2024-01-12 17:37:25', 107, 1, 3, 1, 2.89),
    (22, 20240209, '2024-02-09 08:35:54', 108, 2, 6, 2, 5.18),
    (23, 20240209, '2024-02-09 09:09:06', 108, 3, 7, 6, 15.54),
    (24, 20240209, '2024-02-09 09:17:30', 108, 1, 9, 6, 15.54),
    (25, 20240209, '2024-02-09 12:15:50', 108, 3, 9, 2, 5.18),
    (26, 20240315, '2024-03-15 14:06:30', 107, 4, 8, 6, 17.34),
    (27, 20240315, '2024-03-15 14:09:34', 109, 3, 8, 1, 4.49),
    (28, 20240315, '2024-03-15 16:23:58', 102, 3, 6, 2, 4.98),
    (29, 20240405, '2024-04-05 09:37:36', 105, 2, 9, 6, 13.74),
    (30, 20240405, '2024-04-05 11:49:18', 108, 1, 2, 2, 5.18),
    (31, 20240405, '2024-04-05 13:05:14', 108, 3, 6, 1, 2.59),
    (32, 20240405, '2024-04-05 15:57:55', 103, 1, 6, 6, 23.94),
    (33, 20240517, '2024-05-17 15:07:07', 106, 3, 6, 4, 4.76),
    (34, 20240517, '2024-05-17 16:45:04', 106, 1, 3, 5, 5.95),
    (35, 20240517, '2024-05-17 18:36:43', 101, 3, 2, 4, 3.56),
    (36, 20240621, '2024-06-21 11:09:05', 106, 4, 8, 2, 2.38),
    (37, 20240621, '2024-06-21 15:05:10', 107, 4, 3, 4, 11.56),
    (38, 20240621, '2024-06-21 15:16:12', 101, 3, 2, 6, 5.34),
    (39, 20240621, '2024-06-21 17:19:33', 104, 1, NULL, 4, 7.16),
    (40, 20240621, '2024-06-21 18:34:27', 104, 4, 2, 3, 5.37);

CREATE TABLE fact_returns (
    return_id     INTEGER NOT NULL,
    date_key      INTEGER NOT NULL,
    return_date   DATETIME NOT NULL,
    product_key   INTEGER NOT NULL,
    store_id      INTEGER NOT NULL,
    customer_key  INTEGER,
    quantity      INTEGER NOT NULL,
    refund_amount DECIMAL(10,2) NOT NULL,
    reason        VARCHAR(40),
    CONSTRAINT pk_fact_returns PRIMARY KEY (return_id)
);

CREATE INDEX ix_fact_returns_date_key ON fact_returns (date_key);
CREATE INDEX ix_fact_returns_product_key ON fact_returns (product_key);
CREATE INDEX ix_fact_returns_store_id ON fact_returns (store_id);
CREATE INDEX ix_fact_returns_customer_key ON fact_returns (customer_key);

INSERT INTO fact_returns (return_id, date_key, return_date, product_key, store_id, customer_key, quantity, refund_amount, reason) VALUES
    (1, 20230814, '2023-08-14 09:53:00', 102, 2, 3, 5, 12.45, NULL),
    (2, 20230814, '2023-08-14 17:02:00', 101, 1, 1, 1, 0.89, 'wrong item'),
    (3, 20230814, '2023-08-14 18:01:00', 109, 3, 10, 2, 8.98, 'changed mind'),
    (4, 20230908, '2023-09-08 16:37:00', 103, 3, 2, 1, 3.99, 'wrong item'),
    (5, 20230908, '2023-09-08 17:31:00', 104, 1, 3, 1, 1.79, 'damaged'),
    (6, 20231124, '2023-11-24 16:41:00', 107, 3, NULL, 1, 2.89, 'expired'),
    (7, 20231124, '2023-11-24 17:59:00', 101, 2, 7, 4, 3.56, 'damaged'),
    (8, 20231215, '2023-12-15 14:48:00', 101, 1, 12, 3, 2.67, 'wrong item'),
    (9, 20231215, '2023-12-15 18:01:00', 108, 3, NULL, 5, 12.95, 'damaged'),
    (10, 20240112, '2024-01-12 15:06:00', 104, 1, 2, 1, 1.79, 'expired'),
    (11, 20240112, '2024-01-12 16:01:00', 106, 2, 3, 4, 4.76, 'damaged'),
    (12, 20240112, '2024-01-12 18:59:00', 107, 1, 3, 1, 2.89, 'damaged'),
    (13, 20240315, '2024-03-15 15:45:00', 107, 4, 8, 4, 11.56, 'changed mind'),
    (14, 20240315, '2024-03-15 17:36:00', 102, 3, 6, 2, 4.98, 'wrong item'),
    (15, 20240405, '2024-04-05 13:21:00', 105, 2, 9, 6, 13.74, 'damaged'),
    (16, 20240405, '2024-04-05 14:00:00', 108, 1, 2, 2, 5.18, 'changed mind'),
    (17, 20240405, '2024-04-05 14:15:00', 108, 3, 6, 1, 2.59, 'damaged'),
    (18, 20240405, '2024-04-05 16:29:00', 103, 1, 6, 1, 3.99, 'changed mind'),
    (19, 20240517, '2024-05-17 17:12:00', 106, 3, 6, 2, 2.38, 'changed mind'),
    (20, 20240517, '2024-05-17 19:26:00', 101, 3, 2, 2, 1.78, 'changed mind'),
    (21, 20240621, '2024-06-21 15:26:00', 106, 4, 8, 1, 1.19, 'wrong item'),
    (22, 20240621, '2024-06-21 16:55:00', 107, 4, 3, 1, 2.89, NULL),
    (23, 20240621, '2024-06-21 17:43:00', 104, 1, NULL, 3, 5.37, 'wrong item'),
    (24, 20240621, '2024-06-21 18:41:00', 104, 4, 2, 2, 3.58, NULL);

COMMIT;
