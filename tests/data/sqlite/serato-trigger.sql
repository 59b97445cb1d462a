-- Completes the schema excerpt of Serato's master.sqlite: the excerpt only names this update
-- trigger, so its body is abridged here. It calls functions only Serato registers; a connection
-- without them (such as Morrowdeck's) fails any update of the columns it watches.
CREATE TRIGGER after_asset_update AFTER UPDATE OF file_name, name, artist, album, genre, comments,
  label, remixer, grouping, composer, year, key ON main.asset
BEGIN
  UPDATE asset SET name_norm = serato_str_norm(name), key_value = serato_raw_key_string_to_key_type(key)
  WHERE asset.id = new.id;
END;
INSERT INTO location (id, path) VALUES (1, '/');
