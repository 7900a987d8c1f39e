-- Tables of the demo business, Fernhill Home & Garden: a small chain of homeware shops in nested
-- sales regions, its customers, its catalogue and a year of orders.
-- Declared types matter: they decide the field types the browser formats by (CURRENCY amounts,
-- DATE texts stored as YYYY-MM-DD, MEMO and HYPERLINK long texts, BLOB pictures).

CREATE TABLE regions (
  id INTEGER PRIMARY KEY,                     -- from 101, so no region key is also a tree row id
  name TEXT NOT NULL,
  parent_id INTEGER REFERENCES regions (id),  -- NULL for a top-level region
  manager TEXT
);

CREATE TABLE shops (
  id INTEGER PRIMARY KEY,
  name TEXT NOT NULL UNIQUE,                  -- shop pages look their shop up by this name
  region_id INTEGER NOT NULL REFERENCES regions (id),
  address TEXT,
  manager TEXT,
  phone TEXT,
  opened DATE,
  floor_area INTEGER,                         -- square metres
  web_page HYPERLINK,                         -- display text#address#
  notes MEMO
);

CREATE TABLE customers (
  id INTEGER PRIMARY KEY,
  account TEXT NOT NULL UNIQUE,
  name TEXT NOT NULL,
  contact TEXT,
  town TEXT,
  phone TEXT,
  email TEXT,
  customer_since DATE,
  credit_limit CURRENCY,
  notes MEMO
);

CREATE TABLE categories (
  code TEXT PRIMARY KEY,                      -- five letters: category nodes are keyed by it
  name TEXT NOT NULL,
  description MEMO
);

CREATE TABLE products (
  id INTEGER PRIMARY KEY,
  sku TEXT NOT NULL UNIQUE,
  name TEXT NOT NULL,
  category TEXT NOT NULL REFERENCES categories (code),
  colour TEXT,                                -- also the colour the picture is drawn in
  price CURRENCY NOT NULL,
  in_stock INTEGER,
  reorder_level INTEGER,
  description MEMO,
  care_guide HYPERLINK,
  picture BLOB                                -- drawn by the program when it builds the database
);

CREATE TABLE orders (
  id INTEGER PRIMARY KEY,
  customer_id INTEGER NOT NULL REFERENCES customers (id),
  shop_id INTEGER NOT NULL REFERENCES shops (id),
  order_date DATE NOT NULL,
  due_date DATE NOT NULL,
  status TEXT NOT NULL                        -- Open, Packed, Shipped, Back-ordered, Delivered
);

CREATE TABLE order_lines (
  id INTEGER PRIMARY KEY,
  order_id INTEGER NOT NULL REFERENCES orders (id),
  product_id INTEGER NOT NULL REFERENCES products (id),
  quantity INTEGER NOT NULL,
  unit_price CURRENCY NOT NULL
);

CREATE INDEX order_lines_by_order ON order_lines (order_id);
CREATE INDEX orders_by_customer ON orders (customer_id);
CREATE INDEX orders_by_shop ON orders (shop_id);

-- Units and value of each order. ROUND keeps the amount a real number, so reports show it with
-- two decimals even when it happens to be whole.
CREATE VIEW order_totals AS
  SELECT order_id, SUM(quantity) AS units, ROUND(SUM(quantity * unit_price), 2) AS amount
  FROM order_lines
  GROUP BY order_id;
