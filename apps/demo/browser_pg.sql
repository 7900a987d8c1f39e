-- The browser's own definition: the procedure catalog, the navigation rows behind the tree, the
-- section rows behind the report pages, and the stored pages (front page and page head; their
-- HTML is filled in by the program from page_head.html and front_page.html).
--
-- The PostgreSQL edition of browser.sql: the same rows, with procedure bodies in PostgreSQL's SQL.
-- Bodies name their parameters @name (a call's positional arguments bind them in order of first
-- use, "@name = value" by name), quote their column aliases so that the pages show them as
-- written, sort texts with the "C" collation (byte order, as SQLite does) and cast where
-- PostgreSQL's arithmetic would widen a count into a numeric, so that every page reads the same as
-- on SQLite.

CREATE TABLE nimbo_procedures (name text PRIMARY KEY, body text NOT NULL);

-- One row per tree node definition. A row's columns come back from xspb1 in this order.
CREATE TABLE nimbo_navigation (
  id INTEGER PRIMARY KEY,
  caption TEXT NOT NULL,
  kind TEXT NOT NULL CHECK (kind IN ('F', 'G', 'R', 'N')),
  parent_id INTEGER NOT NULL,
  procedure_name TEXT NOT NULL DEFAULT '',
  parameter_macro TEXT NOT NULL DEFAULT '',
  image_key TEXT,                           -- NULL shows the host's "group" image
  access_list TEXT NOT NULL DEFAULT '',     -- roles separated by ":", empty for everyone
  position INTEGER NOT NULL
);

-- One row per report section; sections of a page are written in position order.
CREATE TABLE nimbo_sections (
  id INTEGER PRIMARY KEY,                   -- the section number in the page's element ids
  page_id INTEGER NOT NULL REFERENCES nimbo_navigation (id),
  position INTEGER NOT NULL,
  caption TEXT,                             -- a caption ending in ":" gets the node's text
  procedure_name TEXT NOT NULL,
  parameter_macro TEXT NOT NULL DEFAULT '',
  kind TEXT NOT NULL CHECK (kind IN ('H', 'S', 'C', 'I', 'M')),
  entry_form INTEGER,                       -- record and picture sections: the host's form
  totals TEXT                               -- tables: totals list; charts: label:value or ALL
);

-- Whole HTML texts the browser reads: 1 the front page, 2 the head of every report page.
CREATE TABLE nimbo_pages (
  id INTEGER PRIMARY KEY,
  name TEXT NOT NULL,
  updated DATE NOT NULL,
  html memo
);

INSERT INTO nimbo_pages (id, name, updated) VALUES
  (1, 'Front page', '2026-11-30'),
  (2, 'Report page head', '2026-11-30');

INSERT INTO nimbo_navigation
  (id, caption, kind, parent_id, procedure_name, parameter_macro, image_key, access_list, position)
VALUES
  (1, 'Data Browser', 'F', 0, '', '', NULL, '', 1),
  (2, 'Sales by Region', 'R', 1, 'RegionList', 'LKEY', 'globe', '', 2),
  (3, 'Shop', 'N', 2, 'ShopList', 'LKEY', 'shop', '', 3),
  (4, 'Customers', 'G', 1, 'CustomerList', '', 'people', '', 4),
  (5, 'Customer', 'N', 4, '', '', 'card', '', 5),
  (6, 'Products', 'F', 1, '', '', NULL, '', 6),
  (7, 'Catalogue', 'G', 6, 'ProductList', '', 'box', '', 7),
  (8, 'Product', 'N', 7, '', '', 'product', '', 8),
  (9, 'Categories', 'G', 6, 'CategoryList', '', 'tags', '', 9),
  (10, 'Category', 'N', 9, '', '', 'tag', '', 10),
  (11, 'Finance', 'F', 1, '', '', 'lock', '1:3', 11),
  (12, 'Monthly Revenue', 'N', 11, '', '', 'chart', '1:3', 12),
  (13, 'Overdue Orders', 'N', 11, '', '', 'clock', '1:3', 13);

INSERT INTO nimbo_sections
  (id, page_id, position, caption, procedure_name, parameter_macro, kind, entry_form, totals)
VALUES
  (21, 2, 1, 'Sales by area:', 'RegionSales', 'LKEY', 'S', NULL, 'ALL'),
  (22, 2, 2, 'Revenue by area:', 'RegionSales', 'LKEY', 'C', NULL, '1:5'),
  (31, 3, 1, 'Shop', 'ShopCard', 'TEXT', 'H', 3, NULL),
  (32, 3, 2, 'Orders taken at:', 'ShopOrders', 'LKEY', 'S', NULL, '4:5'),
  (33, 3, 3, 'Monthly revenue at:', 'ShopMonthly', 'LKEY', 'C', NULL, '1:2'),
  (41, 4, 1, 'Orders by customer', 'OrdersByCustomer', '', 'M', NULL, NULL),
  (51, 5, 1, 'Customer', 'CustomerCard', 'LKEY', 'H', 1, NULL),
  (52, 5, 2, 'Orders of:', 'CustomerOrders', 'LKEY', 'S', NULL, '5:6'),
  (61, 6, 1, 'Best sellers of 2026', 'BestSellers', '', 'S', NULL, '3:4'),
  (71, 7, 1, 'Catalogue', 'ProductTable', '', 'S', NULL, '5'),
  (81, 8, 1, 'Product', 'ProductCard', 'LKEY', 'I', 2, NULL),
  (82, 8, 2, 'Units sold by month:', 'ProductMonthly', 'LKEY', 'C', NULL, '1:2'),
  (91, 9, 1, 'Revenue by category', 'CategoryRevenue', '', 'C', NULL, '1:3'),
  (101, 10, 1, 'Products in:', 'CategoryProducts', 'CKEY05', 'S', NULL, '3:4:5'),
  (102, 10, 2, 'Units sold in:', 'CategoryProducts', 'CKEY05', 'C', NULL, '1:4'),
  (111, 11, 1, 'Revenue by shop', 'ShopRevenue', '', 'C', NULL, '1:4'),
  (121, 12, 1, 'Revenue by month', 'MonthlyRevenue', '', 'S', NULL, 'ALL'),
  (122, 12, 2, 'Monthly figures', 'MonthlyRevenue', '', 'C', NULL, 'ALL'),
  (131, 13, 1, 'Overdue orders as of today', 'OverdueOrders', 'TODAY', 'S', NULL, '6');

-- The three procedures the browser reads its definition with.
INSERT INTO nimbo_procedures (name, body) VALUES
  ('xspb1', 'SELECT id, caption, kind, parent_id, procedure_name, parameter_macro, image_key, access_list
FROM nimbo_navigation
ORDER BY position, id'),

  ('xspb2', 'SELECT id, page_id, position, caption, procedure_name, parameter_macro, kind, entry_form, totals
FROM nimbo_sections
ORDER BY page_id, position, id'),

  ('xspb3', 'SELECT id, name, updated, html FROM nimbo_pages WHERE id = @I1');

-- Tree nodes: field 0 is the node's key, field 1 its text.
INSERT INTO nimbo_procedures (name, body) VALUES
  -- The sub-regions of a region; a key that is no region (the tree row's own key) gives the
  -- top-level regions.
  ('RegionList', 'SELECT id AS "ID", name AS "Region"
FROM regions
WHERE parent_id IS NOT DISTINCT FROM (SELECT id FROM regions WHERE id = @region)
ORDER BY name COLLATE "C"'),

  ('ShopList', 'SELECT id AS "ID", name AS "Shop" FROM shops WHERE region_id = @region ORDER BY name COLLATE "C"'),

  ('CustomerList', 'SELECT id AS "ID", name AS "Customer" FROM customers ORDER BY name COLLATE "C"'),

  ('ProductList', 'SELECT id AS "ID", name AS "Product" FROM products ORDER BY name COLLATE "C"'),

  ('CategoryList', 'SELECT code AS "ID", name AS "Category" FROM categories ORDER BY name COLLATE "C"');

-- Report sections.
INSERT INTO nimbo_procedures (name, body) VALUES
  -- Each area directly below a region (its sub-regions and its own shops) with everything sold
  -- in it, sub-regions counted with all the regions and shops below them.
  ('RegionSales', 'WITH RECURSIVE
  area(id, name, is_shop) AS (
    SELECT id, name, 0 FROM regions
    WHERE parent_id IS NOT DISTINCT FROM (SELECT id FROM regions WHERE id = @region)
    UNION ALL
    SELECT id, name || '' shop'', 1 FROM shops WHERE region_id = @region),
  below(area_id, region_id) AS (
    SELECT id, id FROM area WHERE is_shop = 0
    UNION ALL
    SELECT below.area_id, regions.id FROM below JOIN regions ON regions.parent_id = below.region_id),
  area_shop(area_id, shop_id) AS (
    SELECT below.area_id, shops.id FROM below JOIN shops ON shops.region_id = below.region_id
    UNION ALL
    SELECT id, id FROM area WHERE is_shop = 1)
SELECT a.id AS "ID", a.name AS "Area", COUNT(DISTINCT s.shop_id)::integer AS "Shops",
       COUNT(o.id)::integer AS "Orders", COALESCE(SUM(t.units), 0)::integer AS "Units",
       ROUND(COALESCE(SUM(t.amount), 0), 2) AS "Revenue"
FROM area a
LEFT JOIN area_shop s ON s.area_id = a.id
LEFT JOIN orders o ON o.shop_id = s.shop_id
LEFT JOIN order_totals t ON t.order_id = o.id
GROUP BY a.id, a.name, a.is_shop
ORDER BY a.is_shop, a.name COLLATE "C"'),

  ('ShopCard', 'SELECT s.id AS "ID", s.name AS "Shop", r.name AS "Region", s.address AS "Address",
       s.manager AS "Manager", s.phone AS "Phone", s.opened AS "Opened",
       s.floor_area AS "Floor area (sq m)", s.web_page AS "Web page", s.notes AS "Notes"
FROM shops s JOIN regions r ON r.id = s.region_id
WHERE s.name = @shop'),

  ('ShopOrders', 'SELECT o.id AS "ID", ''SO-'' || o.id AS "Order", o.order_date AS "Ordered",
       c.name AS "Customer", t.units AS "Units", t.amount AS "Amount"
FROM orders o
JOIN customers c ON c.id = o.customer_id
JOIN order_totals t ON t.order_id = o.id
WHERE o.shop_id = @shop
ORDER BY o.order_date DESC, o.id DESC'),

  ('ShopMonthly', 'WITH RECURSIVE month(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM month WHERE n < 12)
SELECT month.n AS "ID", substr(''JanFebMarAprMayJunJulAugSepOctNovDec'', 3 * month.n - 2, 3) AS "Month",
       ROUND(COALESCE(SUM(t.amount), 0), 2) AS "Revenue"
FROM month
LEFT JOIN orders o
  ON o.shop_id = @shop AND EXTRACT(MONTH FROM o.order_date) = month.n
LEFT JOIN order_totals t ON t.order_id = o.id
GROUP BY month.n
ORDER BY month.n'),

  -- Three levels: customers, their orders, the lines of each order.
  ('OrdersByCustomer', 'SHAPE {SELECT c.id AS "ID", c.account AS "Account", c.name AS "Customer", c.town AS "Town",
               COUNT(o.id)::integer AS "Orders", ROUND(COALESCE(SUM(t.amount), 0), 2) AS "Spent"
        FROM customers c
        LEFT JOIN orders o ON o.customer_id = c.id
        LEFT JOIN order_totals t ON t.order_id = o.id
        GROUP BY c.id
        ORDER BY c.name COLLATE "C"}
APPEND ((SHAPE {SELECT o.id AS "ID", c.account AS "Account", ''SO-'' || o.id AS "OrderNo",
                       o.order_date AS "Ordered", s.name AS "Shop", o.status AS "Status",
                       t.units AS "Units", t.amount AS "Amount"
                FROM orders o
                JOIN customers c ON c.id = o.customer_id
                JOIN shops s ON s.id = o.shop_id
                JOIN order_totals t ON t.order_id = o.id
                ORDER BY o.order_date, o.id}
         APPEND ({SELECT l.id AS "ID", ''SO-'' || l.order_id AS "OrderNo", p.name AS "Product",
                         l.quantity AS "Quantity", l.unit_price AS "Unit price",
                         ROUND(l.quantity * l.unit_price, 2) AS "Line total"
                  FROM order_lines l JOIN products p ON p.id = l.product_id
                  ORDER BY l.id}
                 RELATE OrderNo TO OrderNo) AS OrderLines)
        RELATE Account TO Account) AS CustomerOrders'),

  ('CustomerCard', 'SELECT c.id AS "ID", c.account AS "Account", c.name AS "Customer", c.contact AS "Contact",
       c.town AS "Town", c.phone AS "Phone", c.email AS "Email", c.customer_since AS "Customer since",
       c.credit_limit AS "Credit limit",
       (SELECT COUNT(*) FROM orders o WHERE o.customer_id = c.id)::integer AS "Orders in 2026",
       (SELECT ROUND(COALESCE(SUM(t.amount), 0), 2)
          FROM orders o JOIN order_totals t ON t.order_id = o.id
         WHERE o.customer_id = c.id) AS "Spent in 2026",
       c.notes AS "Notes"
FROM customers c
WHERE c.id = @customer'),

  ('CustomerOrders', 'SELECT o.id AS "ID", ''SO-'' || o.id AS "Order", o.order_date AS "Ordered",
       s.name AS "Shop", o.status AS "Status", t.units AS "Units", t.amount AS "Amount"
FROM orders o
JOIN shops s ON s.id = o.shop_id
JOIN order_totals t ON t.order_id = o.id
WHERE o.customer_id = @customer
ORDER BY o.order_date DESC, o.id DESC'),

  ('BestSellers', 'SELECT p.id AS "ID", p.name AS "Product", c.name AS "Category", SUM(l.quantity)::integer AS "Units",
       ROUND(SUM(l.quantity * l.unit_price), 2) AS "Revenue"
FROM order_lines l
JOIN products p ON p.id = l.product_id
JOIN categories c ON c.code = p.category
GROUP BY p.id, c.name
ORDER BY "Revenue" DESC
LIMIT 10'),

  ('ProductTable', 'SELECT p.id AS "ID", p.name AS "Product", p.sku AS "SKU", c.name AS "Category",
       p.price AS "Price", p.in_stock AS "In stock"
FROM products p JOIN categories c ON c.code = p.category
ORDER BY c.name COLLATE "C", p.name COLLATE "C"'),

  ('ProductCard', 'SELECT p.id AS "ID", p.picture AS "IMGPicture", p.name AS "Product", p.sku AS "SKU",
       c.name AS "Category", p.colour AS "Colour", p.price AS "Price", p.in_stock AS "In stock",
       p.reorder_level AS "Reorder level", p.description AS "Description",
       p.care_guide AS "Care guide"
FROM products p JOIN categories c ON c.code = p.category
WHERE p.id = @product'),

  ('ProductMonthly', 'WITH RECURSIVE month(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM month WHERE n < 12)
SELECT month.n AS "ID", substr(''JanFebMarAprMayJunJulAugSepOctNovDec'', 3 * month.n - 2, 3) AS "Month",
       COALESCE(SUM(l.quantity), 0)::integer AS "Units"
FROM month
LEFT JOIN orders o ON EXTRACT(MONTH FROM o.order_date) = month.n
LEFT JOIN order_lines l ON l.order_id = o.id AND l.product_id = @product
GROUP BY month.n
ORDER BY month.n'),

  ('CategoryRevenue', 'SELECT c.code AS "ID", c.name AS "Category", COALESCE(SUM(l.quantity), 0)::integer AS "Units",
       ROUND(COALESCE(SUM(l.quantity * l.unit_price), 0), 2) AS "Revenue"
FROM categories c
LEFT JOIN products p ON p.category = c.code
LEFT JOIN order_lines l ON l.product_id = p.id
GROUP BY c.code
ORDER BY c.name COLLATE "C"'),

  -- Category nodes are keyed by the five-letter category code.
  ('CategoryProducts', 'SELECT p.id AS "ID", p.name AS "Product", p.price AS "Price", p.in_stock AS "In stock",
       COALESCE(SUM(l.quantity), 0)::integer AS "Units sold",
       ROUND(COALESCE(SUM(l.quantity * l.unit_price), 0), 2) AS "Revenue"
FROM products p
LEFT JOIN order_lines l ON l.product_id = p.id
WHERE p.category = @category
GROUP BY p.id
ORDER BY p.name COLLATE "C"'),

  ('ShopRevenue', 'SELECT s.id AS "ID", s.name AS "Shop", COUNT(o.id)::integer AS "Orders",
       COALESCE(SUM(t.units), 0)::integer AS "Units", ROUND(COALESCE(SUM(t.amount), 0), 2) AS "Revenue"
FROM shops s
LEFT JOIN orders o ON o.shop_id = s.id
LEFT JOIN order_totals t ON t.order_id = o.id
GROUP BY s.id
ORDER BY s.name COLLATE "C"'),

  ('MonthlyRevenue', 'WITH RECURSIVE month(n) AS (SELECT 1 UNION ALL SELECT n + 1 FROM month WHERE n < 12)
SELECT month.n AS "ID", substr(''JanFebMarAprMayJunJulAugSepOctNovDec'', 3 * month.n - 2, 3) AS "Month",
       COUNT(o.id)::integer AS "Orders", COALESCE(SUM(t.units), 0)::integer AS "Units",
       ROUND(COALESCE(SUM(t.amount), 0), 2) AS "Revenue"
FROM month
LEFT JOIN orders o ON EXTRACT(MONTH FROM o.order_date) = month.n
LEFT JOIN order_totals t ON t.order_id = o.id
GROUP BY month.n
ORDER BY month.n'),

  -- Orders not yet delivered whose due date has passed. The date arrives as text such as
  -- ''10 Dec 2026''.
  ('OverdueOrders', 'SELECT o.id AS "ID", ''SO-'' || o.id AS "Order", c.name AS "Customer", s.name AS "Shop",
       o.due_date AS "Due", o.status AS "Status", t.amount AS "Amount"
FROM orders o
JOIN customers c ON c.id = o.customer_id
JOIN shops s ON s.id = o.shop_id
JOIN order_totals t ON t.order_id = o.id
WHERE o.status <> ''Delivered'' AND o.due_date < to_date(@today, ''DD Mon YYYY'')
ORDER BY o.due_date, o.id');
