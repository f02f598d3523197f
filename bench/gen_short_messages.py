#!/usr/bin/python3
"""Generates chat-like messages dense with identifiers, as JSON lines.

Each line is {"text": ...}: a message in the style of Indonesian customer
chat ("wa aku 0812-3456-7890 ya kak", "transfer ke BCA 1234567890 a.n.
Budi"), with phone numbers in several notations, identity and family-card
numbers, bank accounts, e-mail addresses, amounts, dates, times, vehicle
plates, addresses and names, and now and then an English one. The output
depends only on the arguments: the same seed gives the same file.

    gen_short_messages.py -n 20000 > short.jsonl                # 20-100 characters
    gen_short_messages.py -n 3000 --min 200 --max 2000 > long.jsonl
    gen_short_messages.py -n 1 --min 300 --max 300 --plain      # one message, no JSON

A message is sentences joined until it reaches a length drawn from [--min,
--max], and kept if it is no longer than --max.
"""
import argparse
import json
import random
import sys

FIRST = ["Budi", "Siti", "Agus", "Dewi", "Rina", "Andi", "Putri", "Joko", "Wahyu", "Ayu", "Rudi", "Sri",
         "Hendra", "Lestari", "Yusuf", "Fitri", "Bambang", "Indah", "Eko", "Nur", "Dimas", "Maya", "John",
         "Sarah", "Michael", "Linda"]
LAST = ["Santoso", "Wijaya", "Saputra", "Lestari", "Hidayat", "Pratama", "Nugroho", "Kurniawan", "Siregar",
        "Simanjuntak", "Halim", "Gunawan", "Setiawan", "Susanti", "Smith", "Tan", "Lim"]
BANKS = ["BCA", "BRI", "BNI", "Mandiri", "BSI", "CIMB", "Permata", "Danamon", "BTN"]
MAIL_HOSTS = ["gmail.com", "yahoo.co.id", "outlook.com", "mail.com", "kantor.co.id", "ui.ac.id"]
STREETS = ["Jl. Sudirman", "Jl. Merdeka", "Jl. Gatot Subroto", "Jalan Diponegoro", "Jl. Ahmad Yani",
           "Jl. Kebon Jeruk", "Gg. Mawar"]
CITIES = ["Jakarta", "Bandung", "Surabaya", "Medan", "Semarang", "Makassar", "Depok", "Bekasi"]
MONTHS = ["Januari", "Februari", "Maret", "April", "Mei", "Juni", "Juli", "Agustus", "September", "Oktober",
          "November", "Desember", "Jan", "Feb", "Mar", "Agu", "Okt", "Des"]
PLATE_AREAS = ["B", "D", "F", "L", "AB", "AD", "BK", "DK", "H", "N"]
PROVINCES = ["11", "12", "13", "31", "32", "33", "34", "35", "36", "51", "52", "61", "64", "71", "73", "91"]


class Gen:
    def __init__(self, rng):
        self.r = rng

    def digits(self, n):
        return "".join(self.r.choice("0123456789") for _ in range(n))

    def name(self):
        return self.r.choice(FIRST) + ("" if self.r.random() < 0.3 else " " + self.r.choice(LAST))

    def phone(self):
        r = self.r
        mobile = "8" + r.choice("1235789") + self.digits(1)
        rest = self.digits(r.choice([7, 8, 8, 8]))
        shapes = [
            lambda: "0" + mobile + "-" + rest[:4] + "-" + rest[4:],
            lambda: "0" + mobile + " " + rest[:4] + " " + rest[4:],
            lambda: "0" + mobile + rest,
            lambda: "0" + mobile + "." + rest[:4] + "." + rest[4:],
            lambda: "+62 " + mobile + " " + rest[:4] + " " + rest[4:],
            lambda: "+62" + mobile + rest,
            lambda: "+62-" + mobile + "-" + rest[:4] + "-" + rest[4:],
            lambda: "62" + mobile + rest,
            lambda: "(021) " + self.digits(3) + "-" + self.digits(4),
            lambda: "(0" + r.choice(["22", "31", "61", "274", "361"]) + ") " + self.digits(7),
            lambda: "021-" + self.digits(r.choice([7, 8])),
            lambda: "021 " + self.digits(4) + " " + self.digits(4),
            lambda: "+62 21 " + self.digits(3) + " " + self.digits(4),
            lambda: "+65 " + r.choice("689") + self.digits(3) + " " + self.digits(4),
            lambda: "+60 1" + self.digits(1) + "-" + self.digits(3) + " " + self.digits(4),
            lambda: "+1 (650) 253-" + self.digits(4),
            lambda: "+44 20 7946 " + self.digits(4),
        ]
        return r.choice(shapes)()

    def nik(self):
        day = self.r.randint(1, 31) + (40 if self.r.random() < 0.5 else 0)
        d = self.r.choice(PROVINCES) + "%02d%02d%02d%02d%02d%04d" % (
            self.r.randint(1, 79), self.r.randint(1, 30), day, self.r.randint(1, 12), self.r.randint(50, 99),
            self.r.randint(1, 3000))
        shape = self.r.random()
        if shape < 0.7:
            return d
        if shape < 0.85:
            return " ".join(d[i:i + 4] for i in range(0, 16, 4))
        return d[:6] + "." + d[6:12] + "." + d[12:]

    def account(self):
        bank = self.r.choice(BANKS)
        n = self.digits({"BCA": 10, "BRI": 15, "BNI": 10, "Mandiri": 13}.get(bank, self.r.choice([10, 12, 13])))
        if self.r.random() < 0.25:
            n = n[:3] + "-" + n[3:6] + "-" + n[6:]
        return bank, n

    def email(self):
        user = self.r.choice(FIRST).lower() + self.r.choice(["", ".", "_"]) + self.r.choice(LAST).lower()
        if self.r.random() < 0.5:
            user += str(self.r.randint(1, 99))
        return user + "@" + self.r.choice(MAIL_HOSTS)

    def amount(self):
        value = self.r.choice([15, 50, 75, 150, 250, 500, 1500, 2750, 12500]) * 1000
        text = "{:,}".format(value).replace(",", ".")
        return self.r.choice(["Rp " + text, "Rp" + text, "Rp " + text + ",00", "IDR " + text,
                              str(value // 1000) + "rb", str(value // 1000) + " ribu"])

    def date(self):
        r = self.r
        d, m, y = r.randint(1, 28), r.randint(1, 12), r.randint(1960, 2025)
        return r.choice(["%02d-%02d-%d" % (d, m, y), "%02d/%02d/%d" % (d, m, y), "%d %s %d" % (d, r.choice(MONTHS), y),
                         "%d-%02d-%02d" % (y, m, d), "%d %s" % (d, r.choice(MONTHS))])

    def time(self):
        return "%02d:%02d" % (self.r.randint(7, 21), self.r.choice([0, 15, 30, 45]))

    def plate(self):
        return "%s %d %s" % (self.r.choice(PLATE_AREAS), self.r.randint(1, 9999),
                             "".join(self.r.choice("ABCDEFGHJKLMNPRSTUVWXYZ") for _ in range(self.r.randint(1, 3))))

    def address(self):
        return "%s No. %d, %s" % (self.r.choice(STREETS), self.r.randint(1, 200), self.r.choice(CITIES))

    def sentence(self):
        r = self.r
        name = self.name
        templates = [
            lambda: "wa aku %s ya kak" % self.phone(),
            lambda: "hp %s a.n. %s" % (self.phone(), name()),
            lambda: "kak nomorku %s, tolong hubungi sore" % self.phone(),
            lambda: "Hubungi %s atau %s" % (self.phone(), self.phone()),
            lambda: "telp kantor %s ext. %d" % (self.phone(), r.randint(10, 999)),
            lambda: "NIK %s" % self.nik(),
            lambda: "NIK saya %s a.n. %s" % (self.nik(), name()),
            lambda: "no KK %s" % self.nik(),
            lambda: "transfer ke %s %s a.n. %s" % (*self.account(), name()),
            lambda: "rek %s %s" % self.account(),
            lambda: "sudah tf %s ke rek %s %s" % ((self.amount(),) + self.account()),
            lambda: "email: %s" % self.email(),
            lambda: "kirim ke %s ya" % self.email(),
            lambda: "total %s, bayar sebelum %s" % (self.amount(), self.date()),
            lambda: "tgl lahir %s" % self.date(),
            lambda: "ketemu %s jam %s di %s" % (self.date(), self.time(), r.choice(CITIES)),
            lambda: "mobil %s parkir di depan" % self.plate(),
            lambda: "alamat %s" % self.address(),
            lambda: "kirim ke %s, penerima %s %s" % (self.address(), name(), self.phone()),
            lambda: "Halo %s, pesanan #%s sudah dikirim" % (name(), self.digits(8)),
            lambda: "Call me at %s or mail %s" % (self.phone(), self.email()),
            lambda: "My name is %s, born %s" % (name(), self.date()),
            lambda: "ok kak makasih, saya %s" % name(),
            lambda: "cicilan %s x 12 bulan, VA %s" % (self.amount(), self.digits(16)),
            lambda: "paspor %s%s" % (r.choice("ABCX"), self.digits(7)),
        ]
        return r.choice(templates)()


def message(gen, low, high):
    """A message of low..high characters (a length drawn evenly, then filled up
    to), or the closest the attempts came to it."""
    best = None
    target = gen.r.randint(low, high)
    for _ in range(200):
        text = gen.sentence()
        while len(text) < target:
            text += gen.r.choice([". ", ", ", " ", "\n", " dan "]) + gen.sentence()
        if len(text) <= high:
            return text
        if best is None or len(text) < len(best):
            best = text
    return best[:high]


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("-n", "--count", type=int, default=20000)
    ap.add_argument("--min", type=int, default=20, help="shortest message, characters")
    ap.add_argument("--max", type=int, default=100, help="longest message, characters")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--plain", action="store_true", help="the messages themselves, one a line, not JSON")
    args = ap.parse_args()
    gen = Gen(random.Random(args.seed))
    out = sys.stdout
    for _ in range(args.count):
        text = message(gen, args.min, args.max)
        if args.plain:
            out.write(text.replace("\n", " ") + "\n")
        else:
            out.write(json.dumps({"text": text}, ensure_ascii=False) + "\n")


if __name__ == "__main__":
    main()
