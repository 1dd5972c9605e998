-- The demo database that scripts/run loads into its throwaway server: a small library.
CREATE TABLE authors (
  id INT PRIMARY KEY,
  name VARCHAR(100) NOT NULL,
  country VARCHAR(50)
);
INSERT INTO authors VALUES
  (1, 'Лев Толстой', 'Россия'), (2, 'Фёдор Достоевский', 'Россия'), (3, 'Антон Чехов', 'Россия'),
  (4, 'Jane Austen', 'England'), (5, 'Gabriel García Márquez', 'Colombia'),
  (6, 'Михаил Булгаков', 'Россия'), (7, 'Haruki Murakami', 'Japan'), (8, 'Анна Ахматова', 'Россия');

CREATE TABLE books (
  id INT PRIMARY KEY,
  author_id INT NOT NULL REFERENCES authors (id),
  title VARCHAR(200) NOT NULL,
  year INT,
  price DECIMAL(8, 2)
);
INSERT INTO books
  SELECT seq, 1 + seq % 8,
         CONCAT(ELT(1 + seq % 6, 'Записки', 'История', 'Повесть', 'Notes on', 'A Tale of', 'Сказание'),
                ' № ', seq),
         1850 + seq % 170, 100 + (seq * 37) % 900
  FROM seq_1_to_300;

CREATE TABLE readers (
  id INT PRIMARY KEY,
  name VARCHAR(100) NOT NULL,
  city VARCHAR(50)
);
INSERT INTO readers
  SELECT seq, CONCAT(ELT(1 + seq % 5, 'Иван', 'Мария', 'Пётр', 'Ольга', 'Alex'), ' ', seq),
         ELT(1 + seq % 4, 'Москва', 'Казань', 'London', 'Новосибирск')
  FROM seq_1_to_200;

CREATE TABLE loans (
  id INT PRIMARY KEY,
  reader_id INT NOT NULL REFERENCES readers (id),
  book_id INT NOT NULL REFERENCES books (id),
  taken DATE NOT NULL,
  returned DATE NULL
);
INSERT INTO loans
  SELECT seq, 1 + seq % 200, 1 + (seq * 7) % 300, DATE '2026-01-01' + INTERVAL (seq % 300) DAY,
         IF(seq % 3 = 0, NULL, DATE '2026-01-01' + INTERVAL (seq % 300 + 14) DAY)
  FROM seq_1_to_500;
