# Maintenance script (not part of the build): regenerates the sample data in demo/data
# (deterministic). The generated files are committed.
import os
ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), '..')
import csv, random
random.seed(20261209)
streets = ["carrer de Mallorca", "carrer de Provença", "carrer del Rosselló", "carrer de Còrsega",
  "carrer d'Aragó", "carrer de València", "carrer de la Diputació", "carrer del Consell de Cent",
  "passeig de Gràcia", "rambla de Catalunya", "carrer Gran de Gràcia", "carrer de Sants",
  "carrer de Pere IV", "avinguda Diagonal", "carrer de Muntaner", "carrer d'Aribau",
  "carrer de Balmes", "carrer de Villarroel", "carrer del Comte Borrell", "carrer de Calàbria",
  "carrer de la Marina", "carrer de Sardenya", "carrer de Padilla", "carrer de Castillejos",
  "carrer de l'Escorial", "carrer de Verdi", "carrer de la Riera Alta", "carrer de Joaquín Costa",
  "carrer Major", "carrer de Sant Pere", "plaça de la Vila", "carrer de l'Església",
  "rambla Nova", "carrer de la Unió", "carrer de Sant Joan", "avinguda de la Generalitat"]
towns = [("Barcelona", "080"), ("Girona", "170"), ("Lleida", "250"), ("Tarragona", "430"),
  ("Sabadell", "082"), ("Terrassa", "082"), ("Badalona", "089"), ("Mataró", "083"),
  ("Reus", "432"), ("Manresa", "082"), ("Vic", "085"), ("Figueres", "176"), ("Granollers", "084"),
  ("Vilanova i la Geltrú", "088"), ("Igualada", "087"), ("Olot", "178"), ("Tortosa", "435")]
first = ["Jordi", "Montserrat", "Josep", "Núria", "Joan", "Mercè", "Pere", "Roser", "Marc", "Laia",
  "Xavier", "Anna", "Oriol", "Marta", "Pau", "Gemma", "Albert", "Carme", "Enric", "Glòria",
  "Quim", "Rosa", "Arnau", "Meritxell", "Ferran", "Teresa", "Martí", "Júlia", "Lluís", "Eulàlia"]
last = ["Puig", "Vila", "Soler", "Ferrer", "Serra", "Font", "Pujol", "Roca", "Casals", "Vidal",
  "Riera", "Camps", "Batlle", "Sala", "Mas", "Bosch", "Coll", "Prat", "Torrent", "Sabaté",
  "Vendrell", "Badia", "Rovira", "Codina", "Planas", "Farré", "Bonet", "Cortés", "Gispert", "Oliveras"]
def person(): return "%s %s %s" % (random.choice(first), random.choice(last), random.choice(last))
def date(y0, y1):
    y = random.randint(y0, y1); m = random.randint(1, 12); d = random.randint(1, 28)
    return "%04d-%02d-%02d" % (y, m, d)

props = []
codes = sorted(random.sample(range(1, 400), 62))
for c in codes:
    street = random.choice(streets); num = random.randint(1, 240)
    town, cp = random.choice(towns)
    name = ("%s, %d" % (street, num))
    name = name[0].upper() + name[1:]
    props.append(dict(codi=c, nom=name[:30], adreca=("%s, %d" % (street, num))[:40], poblacio=town[:30],
                      codi_postal=cp + "%02d" % random.randint(1, 40), administrador=person()[:40]))
with open(ROOT + '/data/FinquesV.csv', 'w', newline='') as f:
    w = csv.writer(f, lineterminator='\n')
    w.writerow(["codi", "nom", "adreca", "poblacio", "codi_postal", "administrador"])
    for p in props: w.writerow(["%03d" % p["codi"]] + [p[k] for k in ["nom", "adreca", "poblacio", "codi_postal", "administrador"]])

floors = ["Baixos", "Entresòl", "Principal", "1r", "2n", "3r", "4t", "5è", "6è", "Àtic", "Sobreàtic"]
deps = []
for p in props:
    n = random.randint(6, 14)
    used = 0
    for i in range(1, n + 1):
        fl = floors[min(i // 3, len(floors) - 1)]
        door = (i % 3) + 1
        if fl == "Baixos":
            kind, tipus = random.choice([("Local", "L"), ("Pàrquing", "P"), ("Magatzem", "M")])
            name = "%s, %s %d" % (fl, "local" if tipus == "L" else "plaça" if tipus == "P" else "magatzem", door)
        else:
            kind, tipus = ("Habitatge", "H") if random.random() > 0.1 else ("Despatx", "D")
            name = "Pis %s %da" % (fl, door)
        deps.append(dict(finca="%03d" % p["codi"], departament="%03d" % i, nom=name[:30], tipologia=kind[:10],
                         titular=person()[:40], data_alta=date(1975, 2024),
                         superficie=random.randint(25, 180) if tipus != "P" else random.randint(10, 20),
                         tipus=tipus, coeficient=random.randint(150, 1200)))
with open(ROOT + '/data/DepartaV.csv', 'w', newline='') as f:
    cols = ["finca", "departament", "nom", "tipologia", "titular", "data_alta", "superficie", "tipus", "coeficient"]
    w = csv.writer(f, lineterminator='\n'); w.writerow(cols)
    for d in deps: w.writerow([d[k] for k in cols])

tl = []
for d in deps:
    if random.random() > 0.45: continue
    start = date(2015, 2025)
    sy = int(start[:4])
    end = "%04d%s" % (sy + random.choice([1, 3, 5, 7]), start[4:])
    rent = random.randint(45, 220) * 500
    tl.append(dict(finca=d["finca"], departament=d["departament"], inici=start, fi=end,
        prorroga=random.choice("SN"), actiu="S" if random.random() > 0.15 else "N",
        num_contracte=random.randint(1000, 99999), deute=random.choice([0, 0, 0, rent, 2 * rent]),
        actualitzacio=date(2023, 2026), renda=rent, dia_cobrament=random.choice([1, 1, 5, 10]),
        fianca=rent * random.choice([1, 2]), iva="S" if d["tipus"] in "LDM" else "N",
        domiciliat=random.choice("SSN"), retencio="S" if d["tipus"] in "LD" else "N",
        comunitat=random.randint(3, 20) * 500, aigua=random.choice("SN"), llum="N",
        ibi=random.randint(20, 90) * 1000, ipc=random.choice(["2.3", "3.125", "1.5", "0", "2.8"]),
        mesos_fianca=random.choice([1, 2]), rebuts_pendents=random.choice([0, 0, 0, 1, 2])))
with open(ROOT + '/data/TranLauV.csv', 'w', newline='') as f:
    cols = ["finca", "departament", "inici", "fi", "prorroga", "actiu", "num_contracte", "deute",
            "actualitzacio", "renda", "dia_cobrament", "fianca", "iva", "domiciliat", "retencio",
            "comunitat", "aigua", "llum", "ibi", "ipc", "mesos_fianca", "rebuts_pendents"]
    w = csv.writer(f, lineterminator='\n'); w.writerow(cols)
    for t in tl: w.writerow([t[k] for k in cols])
print(len(props), len(deps), len(tl))
