-- What changed, for clients that follow changes live: one row per change,
-- written by triggers in the transaction of the change itself, so that every
-- server on the file sees it once it is committed. Rows carry ids and kinds
-- only. The newest 10,000 are kept.

CREATE TABLE change_events (
  id        INTEGER PRIMARY KEY AUTOINCREMENT,  -- never reused, even once pruned
  kind      TEXT    NOT NULL,
  store_id  INTEGER,
  item_id   INTEGER,
  record_id INTEGER
);
CREATE TRIGGER change_events_pruned AFTER INSERT ON change_events BEGIN
  DELETE FROM change_events WHERE id <= new.id - 10000;
END;

CREATE TRIGGER stores_added AFTER INSERT ON stores BEGIN
  INSERT INTO change_events (kind, store_id) VALUES ('storeAdded', new.id);
END;
CREATE TRIGGER stores_removed AFTER DELETE ON stores BEGIN
  INSERT INTO change_events (kind, store_id) VALUES ('storeRemoved', old.id);
END;

CREATE TRIGGER items_added AFTER INSERT ON items BEGIN
  INSERT INTO change_events (kind, store_id, item_id) VALUES ('dealAdded', new.store_id, new.id);
END;
-- Counter updates are not edits: only the deal's own text counts.
CREATE TRIGGER items_edited AFTER UPDATE OF name, description, price ON items BEGIN
  INSERT INTO change_events (kind, store_id, item_id) VALUES ('dealEdited', new.store_id, new.id);
END;
CREATE TRIGGER items_removed AFTER DELETE ON items BEGIN
  INSERT INTO change_events (kind, store_id, item_id) VALUES ('dealRemoved', old.store_id, old.id);
END;

CREATE TRIGGER interests_added AFTER INSERT ON interests BEGIN
  INSERT INTO change_events (kind, item_id, record_id) VALUES ('interestAdded', new.item_id, new.id);
END;
CREATE TRIGGER interests_changed AFTER UPDATE OF qty ON interests BEGIN
  INSERT INTO change_events (kind, item_id, record_id) VALUES ('interestChanged', new.item_id, new.id);
END;
CREATE TRIGGER interests_removed AFTER DELETE ON interests BEGIN
  INSERT INTO change_events (kind, item_id, record_id) VALUES ('interestRemoved', old.item_id, old.id);
END;

CREATE TRIGGER purchases_added AFTER INSERT ON purchases BEGIN
  INSERT INTO change_events (kind, item_id, record_id) VALUES ('purchaseAdded', new.item_id, new.id);
END;
CREATE TRIGGER purchases_changed AFTER UPDATE OF qty ON purchases BEGIN
  INSERT INTO change_events (kind, item_id, record_id) VALUES ('purchaseChanged', new.item_id, new.id);
END;
CREATE TRIGGER purchases_removed AFTER DELETE ON purchases BEGIN
  INSERT INTO change_events (kind, item_id, record_id) VALUES ('purchaseRemoved', old.item_id, old.id);
END;
