-- Stores, the deals (items) posted for them, and who wants or bought how many.
-- The same meaning as the SQLite schema: the counters on items change in the
-- same transaction as the records that change them.

CREATE EXTENSION IF NOT EXISTS pg_trgm;

CREATE TABLE stores (
  id         BIGSERIAL   PRIMARY KEY,
  name       TEXT        NOT NULL,
  created_by TEXT        NOT NULL,
  created_at TIMESTAMPTZ NOT NULL DEFAULT now()
);

CREATE TABLE items (
  id          BIGSERIAL   PRIMARY KEY,
  store_id    BIGINT      NOT NULL REFERENCES stores(id),
  name        TEXT        NOT NULL,
  description TEXT        NOT NULL,
  price       TEXT        NOT NULL,
  posted_by   TEXT        NOT NULL,
  interested  BIGINT      NOT NULL DEFAULT 0,
  bought      BIGINT      NOT NULL DEFAULT 0,
  created_at  TIMESTAMPTZ NOT NULL DEFAULT now()
);
CREATE INDEX items_by_store ON items (store_id, id);

CREATE TABLE interests (
  id         BIGSERIAL   PRIMARY KEY,
  item_id    BIGINT      NOT NULL REFERENCES items(id),
  name       TEXT        NOT NULL,
  qty        BIGINT      NOT NULL CHECK (qty >= 1),
  created_at TIMESTAMPTZ NOT NULL DEFAULT now()
);
CREATE INDEX interests_by_item ON interests (item_id, id);

CREATE TABLE purchases (
  id         BIGSERIAL   PRIMARY KEY,
  item_id    BIGINT      NOT NULL REFERENCES items(id),
  name       TEXT        NOT NULL,
  qty        BIGINT      NOT NULL CHECK (qty >= 1),
  created_at TIMESTAMPTZ NOT NULL DEFAULT now()
);
CREATE INDEX purchases_by_item ON purchases (item_id, id);

-- Substring search over deal names and descriptions, ignoring case.
CREATE INDEX items_name_trigrams ON items USING gin (name gin_trgm_ops);
CREATE INDEX items_description_trigrams ON items USING gin (description gin_trgm_ops);
