-- Stores, the deals (items) posted for them, and who wants or bought how many.
-- The counters on items are kept in the same transaction as the records that
-- change them, so reading a deal costs the same however many records it has.

CREATE TABLE stores (
  id         INTEGER PRIMARY KEY,
  name       TEXT    NOT NULL,
  created_by TEXT    NOT NULL,
  created_at TEXT    NOT NULL DEFAULT CURRENT_TIMESTAMP
);

CREATE TABLE items (
  id          INTEGER PRIMARY KEY,
  store_id    INTEGER NOT NULL REFERENCES stores(id),
  name        TEXT    NOT NULL,
  description TEXT    NOT NULL,
  price       TEXT    NOT NULL,
  posted_by   TEXT    NOT NULL,
  interested  INTEGER NOT NULL DEFAULT 0,
  bought      INTEGER NOT NULL DEFAULT 0,
  created_at  TEXT    NOT NULL DEFAULT CURRENT_TIMESTAMP
);
CREATE INDEX items_by_store ON items(store_id, id);

CREATE TABLE interests (
  id         INTEGER PRIMARY KEY,
  item_id    INTEGER NOT NULL REFERENCES items(id),
  name       TEXT    NOT NULL,
  qty        INTEGER NOT NULL CHECK (qty >= 1),
  created_at TEXT    NOT NULL DEFAULT CURRENT_TIMESTAMP
);
CREATE INDEX interests_by_item ON interests(item_id, id);

CREATE TABLE purchases (
  id         INTEGER PRIMARY KEY,
  item_id    INTEGER NOT NULL REFERENCES items(id),
  name       TEXT    NOT NULL,
  qty        INTEGER NOT NULL CHECK (qty >= 1),
  created_at TEXT    NOT NULL DEFAULT CURRENT_TIMESTAMP
);
CREATE INDEX purchases_by_item ON purchases(item_id, id);

-- Substring search over deal names and descriptions (trigrams fold case).
CREATE VIRTUAL TABLE items_search USING fts5(
  name, description, content='items', content_rowid='id', tokenize='trigram'
);
CREATE TRIGGER items_search_insert AFTER INSERT ON items BEGIN
  INSERT INTO items_search(rowid, name, description) VALUES (new.id, new.name, new.description);
END;
CREATE TRIGGER items_search_delete AFTER DELETE ON items BEGIN
  INSERT INTO items_search(items_search, rowid, name, description)
    VALUES ('delete', old.id, old.name, old.description);
END;
CREATE TRIGGER items_search_update AFTER UPDATE OF name, description ON items BEGIN
  INSERT INTO items_search(items_search, rowid, name, description)
    VALUES ('delete', old.id, old.name, old.description);
  INSERT INTO items_search(rowid, name, description) VALUES (new.id, new.name, new.description);
END;
