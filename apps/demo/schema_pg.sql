-- The demo's tables on PostgreSQL: the same business as schema.sql, in PostgreSQL's types.
-- Amounts are exact numerics, dates are dates. Long texts are declared with the memo and
-- hyperlink domains, which the record source reads as long texts (hyperlinks become links), as
-- the MEMO and HYPERLINK columns of the SQLite demo are.

CREATE DOMAIN memo AS text;
CREATE DOMAIN hyperlink AS text;

CREATE TABLE regions (
  id integer PRIMARY KEY,
  name text NOT NULL,
  parent_id integer REFERENCES regions (id),
  manager text
);

CREATE TABLE shops (
  id integer PRIMARY KEY,
  name text NOT NULL UNIQUE,
  region_id integer NOT NULL REFERENCES regions (id),
  address text,
  manager text,
  phone text,
  opened date,
  floor_area integer,
  web_page hyperlink,
  notes memo
);

CREATE TABLE customers (
  id integer PRIMARY KEY,
  account text NOT NULL UNIQUE,
  name text NOT NULL,
  contact text,
  town text,
  phone text,
  email text,
  customer_since date,
  credit_limit numeric(12, 2),
  notes memo
);

CREATE TABLE categories (
  code text PRIMARY KEY,
  name text NOT NULL,
  description memo
);

CREATE TABLE products (
  id integer PRIMARY KEY,
  sku text NOT NULL UNIQUE,
  name text NOT NULL,
  category text NOT NULL REFERENCES categories (code),
  colour text,
  price numeric(10, 2) NOT NULL,
  in_stock integer,
  reorder_level integer,
  description memo,
  care_guide hyperlink,
  picture bytea
);

CREATE TABLE orders (
  id integer PRIMARY KEY,
  customer_id integer NOT NULL REFERENCES customers (id),
  shop_id integer NOT NULL REFERENCES shops (id),
  order_date date NOT NULL,
  due_date date NOT NULL,
  status text NOT NULL
);

CREATE TABLE order_lines (
  id integer PRIMARY KEY,
  order_id integer NOT NULL REFERENCES orders (id),
  product_id integer NOT NULL REFERENCES products (id),
  quantity integer NOT NULL,
  unit_price numeric(10, 2) NOT NULL
);

CREATE INDEX order_lines_by_order ON order_lines (order_id);
CREATE INDEX orders_by_customer ON orders (customer_id);
CREATE INDEX orders_by_shop ON orders (shop_id);

CREATE VIEW order_totals AS
  SELECT order_id, SUM(quantity)::integer AS units, ROUND(SUM(quantity * unit_price), 2) AS amount
  FROM order_lines
  GROUP BY order_id;
